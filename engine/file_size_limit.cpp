#include "file_size_limit.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

std::string Lowercase(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// The space-separated fields of one line.
std::vector<std::string_view> FieldsOf(std::string_view line)
{
    std::vector<std::string_view> fields;
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        if (end > at)
            fields.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return fields;
}

// The mount table writes a space, tab, newline or backslash in a path as a
// backslash and three octal digits.
std::string UnescapeMountPath(std::string_view field)
{
    std::string path;
    for (std::size_t at = 0; at < field.size(); ++at) {
        const bool octal = field[at] == '\\' && at + 3 < field.size() &&
                           std::all_of(field.begin() + at + 1, field.begin() + at + 4,
                                       [](char c) { return c >= '0' && c <= '7'; });
        if (octal) {
            path += static_cast<char>((field[at + 1] - '0') * 64 + (field[at + 2] - '0') * 8 + (field[at + 3] - '0'));
            at += 3;
        } else {
            path += field[at];
        }
    }
    return path;
}

// True when `path` is `mountPoint` or lies under it.
bool IsUnder(const std::string& path, const std::string& mountPoint)
{
    if (mountPoint == "/")
        return !path.empty() && path.front() == '/';
    return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

}  // namespace

std::int64_t LargestFileOfType(std::string_view type)
{
    static constexpr std::string_view kFatTypes[] = {"vfat",  "msdos", "umsdos", "fat",   "fat12",
                                                     "fat16", "fat32", "fuse.fusefat", "fusefat"};
    const std::string lower = Lowercase(type);
    for (std::string_view fat : kFatTypes) {
        if (lower == fat)
            return kFatLargestFile;
    }
    return kNoFileSizeLimit;
}

bool SharesExtentsByType(std::string_view type)
{
    const std::string lower = Lowercase(type);
    return lower == "xfs" || lower == "btrfs";
}

std::string FileSystemTypeInMountInfo(std::string_view mountInfo, const std::string& canonicalPath)
{
    std::string type;
    std::size_t longest = 0;
    for (std::size_t at = 0; at < mountInfo.size();) {
        const std::size_t end = std::min(mountInfo.find('\n', at), mountInfo.size());
        const std::vector<std::string_view> fields = FieldsOf(mountInfo.substr(at, end - at));
        at = end + 1;
        // id parent major:minor root mount-point options [optional...] - type source super-options
        const auto separator = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (fields.size() < 5 || separator == fields.end() || separator + 1 == fields.end() ||
            separator - fields.begin() < 6)
            continue;
        const std::string mountPoint = UnescapeMountPath(fields[4]);
        if (IsUnder(canonicalPath, mountPoint) && mountPoint.size() >= longest) {
            longest = mountPoint.size();
            type = std::string(*(separator + 1));
        }
    }
    return type;
}
