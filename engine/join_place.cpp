#include "join_place.h"

#include <filesystem>

#include "file_system.h"
#include "join_journal.h"

namespace {

namespace fs = std::filesystem;

fs::path PathOfUtf8(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8Of(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The folder that holds the pieces, absolute and without "." or "..".
fs::path PiecesFolder(const PieceSet& set)
{
    std::error_code error;
    const fs::path absolute = fs::absolute(PathOfUtf8(set.originalPath), error);
    return (error ? PathOfUtf8(set.originalPath) : absolute).lexically_normal().parent_path();
}

}  // namespace

JoinPlace PlaceOfRecord(const PieceSet& set, const std::string& folderRecord)
{
    JoinPlace place;
    place.folderRecord = folderRecord;
    place.journal = JournalPath(set.originalPath);
    if (place.besidePieces()) {
        place.output = set.originalPath;
    } else {
        const fs::path record = PathOfUtf8(folderRecord);
        const fs::path folder = record.is_absolute() ? record : PiecesFolder(set) / record;
        place.output = Utf8Of((folder / PathOfUtf8(LeafOf(set.originalPath))).lexically_normal());
    }
    place.privateFile = PrivateOutputPath(place.output);
    return place;
}

std::string FolderRecordOf(const PieceSet& set, const std::string& folder)
{
    std::error_code error;
    fs::path absolute = fs::absolute(PathOfUtf8(folder), error);
    if (error)
        absolute = PathOfUtf8(folder);
    absolute = absolute.lexically_normal();
    if (!absolute.has_filename() && absolute.has_relative_path())
        absolute = absolute.parent_path();  // "dir/" is "dir"
    const fs::path inside = absolute.lexically_relative(PiecesFolder(set));
    if (inside.empty() || *inside.begin() == "..")
        return Utf8Of(absolute);
    const std::u8string relative = inside.generic_u8string();
    return std::string(relative.begin(), relative.end());
}

bool CommitOutputAndPieceNames(const JoinPlace& place)
{
    return fileSystem().commitFolder(place.output) &&
           (place.besidePieces() || fileSystem().commitFolder(place.journal));
}
