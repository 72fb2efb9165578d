#include "join_place.h"

#include <filesystem>

#include "file_system.h"
#include "join_journal.h"
#include "path_text.h"

namespace {

namespace fs = std::filesystem;

// `path` absolute (from the working folder when it is relative) and without
// "." or "..", for comparisons alone.
fs::path Normal(const std::string& path)
{
    const fs::path given = PathOfUtf8(path);
    std::error_code error;
    const fs::path absolute = given.has_root_directory() ? given : fs::absolute(given, error);
    fs::path normal = (error ? given : absolute).lexically_normal();
    if (!normal.has_filename() && normal.has_relative_path())
        normal = normal.parent_path();  // "dir/" is "dir"
    return normal;
}

}  // namespace

JoinPlace PlaceOfRecord(const PieceSet& set, const std::string& folderRecord)
{
    JoinPlace place;
    place.folderRecord = folderRecord;
    place.journal = JournalPath(set.originalPath);
    const std::string leaf = LeafOf(set.originalPath);
    if (place.besidePieces())
        place.output = set.originalPath;
    else if (PathOfUtf8(folderRecord).has_root_directory())
        place.output = JoinedPath(folderRecord, leaf);
    else
        place.output = JoinedPath(JoinedPath(FolderPartOf(set.originalPath), folderRecord), leaf);
    place.privateFile = PrivateOutputPath(place.output);
    return place;
}

std::string FolderRecordOf(const PieceSet& set, const std::string& folder)
{
    const fs::path target = Normal(folder);
    const std::string piecesFolder = FolderPartOf(set.originalPath);
    const fs::path inside = target.lexically_relative(Normal(piecesFolder.empty() ? "." : piecesFolder));
    if (!inside.empty() && *inside.begin() != "..") {
        if (inside == ".")
            return ".";
        const std::u8string relative = inside.generic_u8string();
        return std::string(relative.begin(), relative.end());
    }
    // Elsewhere: as it was given, when that is a path from a root already.
    if (!PathOfUtf8(folder).has_root_directory())
        return Utf8Of(target);
    std::string given = folder;
    while (given.size() > 1 && IsPathSeparator(given.back()))
        given.pop_back();
    return given;
}

bool SameFolderRecord(const std::string& one, const std::string& other)
{
    return PathOfUtf8(one).lexically_normal() == PathOfUtf8(other).lexically_normal();
}

bool CommitOutputAndPieceNames(const JoinPlace& place)
{
    return fileSystem().commitFolder(place.output) &&
           (place.besidePieces() || fileSystem().commitFolder(place.journal));
}
