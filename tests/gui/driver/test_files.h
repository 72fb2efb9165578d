#pragma once
// The files a GUI test works on: a fresh directory per test, file contents
// that tell every offset apart, and piece sets written as a split leaves them.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace gui {

// A new empty directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& Path() const { return path_; }
    // The full path of `name` inside the directory.
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Writes `size` bytes of the contents numbered `seed`: every 8-byte word
// depends on the seed and its offset, so a moved, lost or doubled block shows.
bool WriteTestFile(const std::wstring& path, std::int64_t size, std::uint64_t seed);
// Whether the file at `path` holds exactly those contents.
bool HasTestContents(const std::wstring& path, std::int64_t size, std::uint64_t seed);

// The name of piece `index` of `count` of `original`: original.index.count.plit.
std::wstring PieceName(const std::wstring& original, std::int64_t index, std::int64_t count);
// Writes the pieces that splitting `original` (of `size` bytes, contents
// `seed`) into pieces of `pieceSize` bytes gives; returns their count, 0 on failure.
std::int64_t WritePieces(const std::wstring& original, std::int64_t size, std::uint64_t seed,
                         std::int64_t pieceSize);
// Whether every piece of that split exists and holds its slice of the contents.
bool HasPieces(const std::wstring& original, std::int64_t size, std::uint64_t seed,
               std::int64_t pieceSize);

bool FileExists(const std::wstring& path);
// The size of the file at `path`, or -1 when it cannot be read.
std::int64_t FileSize(const std::wstring& path);
// The names of the files in `directory`, sorted.
std::vector<std::wstring> FilesIn(const std::wstring& directory);

// A folder made inside `parent`, one level at a time, whose path is longer
// than 260 characters and holds non-ASCII letters; empty when one level
// cannot be made.
std::wstring MakeLongFolder(const std::wstring& parent);

// A Linux path of this machine as Wine shows it: drive Z: is the root.
std::wstring FromUnixPath(const std::string& path);
// The folder part of `path`, without the trailing backslash.
std::wstring FolderOf(const std::wstring& path);

}  // namespace gui
