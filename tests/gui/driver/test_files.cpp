#include "test_files.h"

#include <algorithm>
#include <atomic>

namespace gui {

namespace {

constexpr std::int64_t kBlock = 1 << 20;

std::uint64_t Mix(std::uint64_t value)
{
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

// Fills `buffer` with the bytes at [offset, offset + length) of contents `seed`.
void FillContents(std::uint64_t seed, std::int64_t offset, char* buffer, std::int64_t length)
{
    std::uint64_t word = 0;
    for (std::int64_t i = 0; i < length; ++i) {
        const std::int64_t at = offset + i;
        if (i == 0 || at % 8 == 0) {
            word = Mix(seed * 0x100000001B3ull ^ static_cast<std::uint64_t>(at / 8));
        }
        buffer[i] = static_cast<char>(word >> (8 * (at % 8)));
    }
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { if (ok()) CloseHandle(handle_); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// Writes the bytes [offset, offset + length) of contents `seed` as the whole of `path`.
bool WriteSlice(const std::wstring& path, std::uint64_t seed, std::int64_t offset, std::int64_t length)
{
    Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok()) {
        return false;
    }
    std::vector<char> buffer(static_cast<size_t>(std::min(length, kBlock)));
    for (std::int64_t done = 0; done < length;) {
        const std::int64_t chunk = std::min(kBlock, length - done);
        FillContents(seed, offset + done, buffer.data(), chunk);
        DWORD written = 0;
        if (!WriteFile(file.get(), buffer.data(), static_cast<DWORD>(chunk), &written, nullptr) || written != chunk) {
            return false;
        }
        done += chunk;
    }
    return true;
}

// Whether `path` holds exactly the bytes [offset, offset + length) of contents `seed`.
bool HoldsSlice(const std::wstring& path, std::uint64_t seed, std::int64_t offset, std::int64_t length)
{
    if (FileSize(path) != length) {
        return false;
    }
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.ok()) {
        return false;
    }
    std::vector<char> expected(static_cast<size_t>(std::min(length, kBlock)));
    std::vector<char> actual(expected.size());
    for (std::int64_t done = 0; done < length;) {
        const std::int64_t chunk = std::min(kBlock, length - done);
        DWORD read = 0;
        if (!ReadFile(file.get(), actual.data(), static_cast<DWORD>(chunk), &read, nullptr) || read != chunk) {
            return false;
        }
        FillContents(seed, offset + done, expected.data(), chunk);
        if (!std::equal(expected.begin(), expected.begin() + chunk, actual.begin())) {
            return false;
        }
        done += chunk;
    }
    return true;
}

void RemoveTree(const std::wstring& directory)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = directory + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(directory.c_str());
}

}  // namespace

TempDir::TempDir()
{
    static std::atomic<int> counter{0};
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, base);
    wchar_t full[MAX_PATH + 1] = {};
    GetLongPathNameW(base, full, MAX_PATH + 1);
    path_ = std::wstring(full[0] ? full : base) + L"vandrel-gui-" + std::to_wstring(GetCurrentProcessId()) +
            L"-" + std::to_wstring(++counter);
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempDir::~TempDir()
{
    RemoveTree(path_);
}

bool WriteTestFile(const std::wstring& path, std::int64_t size, std::uint64_t seed)
{
    return WriteSlice(path, seed, 0, size);
}

bool HasTestContents(const std::wstring& path, std::int64_t size, std::uint64_t seed)
{
    return HoldsSlice(path, seed, 0, size);
}

std::wstring PieceName(const std::wstring& original, std::int64_t index, std::int64_t count)
{
    return original + L"." + std::to_wstring(index) + L"." + std::to_wstring(count) + L".plit";
}

std::int64_t WritePieces(const std::wstring& original, std::int64_t size, std::uint64_t seed,
                         std::int64_t pieceSize)
{
    const std::int64_t count = (size + pieceSize - 1) / pieceSize;
    for (std::int64_t index = 0; index < count; ++index) {
        const std::int64_t offset = index * pieceSize;
        if (!WriteSlice(PieceName(original, index, count), seed, offset, std::min(pieceSize, size - offset))) {
            return 0;
        }
    }
    return count;
}

bool HasPieces(const std::wstring& original, std::int64_t size, std::uint64_t seed, std::int64_t pieceSize)
{
    const std::int64_t count = (size + pieceSize - 1) / pieceSize;
    for (std::int64_t index = 0; index < count; ++index) {
        const std::int64_t offset = index * pieceSize;
        if (!HoldsSlice(PieceName(original, index, count), seed, offset, std::min(pieceSize, size - offset))) {
            return false;
        }
    }
    return true;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring MakeLongFolder(const std::wstring& parent)
{
    std::wstring folder = parent;
    for (int level = 0; folder.size() <= 300; ++level) {
        folder += L"\\" + std::wstring(60, static_cast<wchar_t>(L'a' + level)) + L" \u00fc";
        if (!CreateDirectoryW(folder.c_str(), nullptr))
            return L"";
    }
    return folder;
}

std::int64_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<std::wstring> FilesIn(const std::wstring& directory)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                names.push_back(entry.cFileName);
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring FromUnixPath(const std::string& path)
{
    std::wstring windowsPath = L"Z:";
    for (char c : path) {
        windowsPath += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return windowsPath;
}

std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\'));
}

}  // namespace gui
