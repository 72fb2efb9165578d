// Times the ways a Win32 program can copy one file into a new one, durably
// (the copy is flushed to the disk before the clock stops, as a job's pieces
// and output are): a read/write loop at several buffer sizes, with and without
// FILE_FLAG_SEQUENTIAL_SCAN on the source, an overlapped read-while-write with
// two buffers, and CopyFileExW as the system's own copy for reference; and
// whether the file system clones blocks (FSCTL_DUPLICATE_EXTENTS_TO_FILE).
// Variants are interleaved within each round; before each timing the source
// is read once (so that it is in the cache) and the buffers are touched.
// Prints the minimum and the median of the rounds for each variant.
//
// Usage: win_copy_bench [DIRECTORY [MEBIBYTES [ROUNDS]]]   (defaults: . 256 5)

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "win_copy_bench: %s failed (error %lu)\n", what, GetLastError());
    std::exit(1);
}

HANDLE OpenSource(const std::wstring& path, DWORD flags)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail("opening the source");
    return file;
}

HANDLE CreateTarget(const std::wstring& path, DWORD flags)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, CREATE_NEW, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail("creating the target");
    return file;
}

void WriteAll(HANDLE file, const char* bytes, DWORD count)
{
    DWORD put = 0;
    if (!WriteFile(file, bytes, count, &put, nullptr) || put != count)
        Fail("WriteFile");
}

void Commit(HANDLE file)
{
    if (!FlushFileBuffers(file))
        Fail("FlushFileBuffers");
    if (!CloseHandle(file))
        Fail("CloseHandle");
}

// The engine's copy today: read a buffer, write it, until the end.
void LoopCopy(const std::wstring& from, const std::wstring& to, std::vector<char>& buffer, DWORD sourceFlags)
{
    const HANDLE source = OpenSource(from, sourceFlags);
    const HANDLE target = CreateTarget(to, FILE_ATTRIBUTE_NORMAL);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            Fail("ReadFile");
        if (got == 0)
            break;
        WriteAll(target, buffer.data(), got);
    }
    CloseHandle(source);
    Commit(target);
}

// Two buffers on overlapped handles: the read of block i+1 is in flight while
// block i is written.
void OverlappedCopy(const std::wstring& from, const std::wstring& to, std::vector<char>& buffers)
{
    const DWORD half = static_cast<DWORD>(buffers.size() / 2);
    const HANDLE source = OpenSource(from, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OVERLAPPED);
    const HANDLE target = CreateTarget(to, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED);
    OVERLAPPED reading{};
    OVERLAPPED writing{};
    reading.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    writing.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto startRead = [&](std::uint64_t at, char* into) {
        reading.Offset = static_cast<DWORD>(at);
        reading.OffsetHigh = static_cast<DWORD>(at >> 32);
        if (!ReadFile(source, into, half, nullptr, &reading) && GetLastError() != ERROR_IO_PENDING
            && GetLastError() != ERROR_HANDLE_EOF)
            Fail("ReadFile (overlapped)");
    };
    auto finish = [](HANDLE file, OVERLAPPED& operation) {
        DWORD done = 0;
        if (!GetOverlappedResult(file, &operation, &done, TRUE)) {
            if (GetLastError() == ERROR_HANDLE_EOF)
                return DWORD{0};
            Fail("GetOverlappedResult");
        }
        return done;
    };
    std::uint64_t at = 0;
    int current = 0;
    startRead(at, buffers.data());
    bool writePending = false;
    for (;;) {
        const DWORD got = finish(source, reading);
        if (got == 0)
            break;
        char* block = buffers.data() + current * half;
        if (writePending && finish(target, writing) != half)
            Fail("WriteFile (overlapped, short)");
        startRead(at + got, buffers.data() + (1 - current) * half);
        writing.Offset = static_cast<DWORD>(at);
        writing.OffsetHigh = static_cast<DWORD>(at >> 32);
        if (!WriteFile(target, block, got, nullptr, &writing) && GetLastError() != ERROR_IO_PENDING)
            Fail("WriteFile (overlapped)");
        writePending = true;
        at += got;
        current = 1 - current;
        if (got < half) {
            finish(source, reading);
            break;
        }
    }
    if (writePending)
        finish(target, writing);
    CloseHandle(reading.hEvent);
    CloseHandle(writing.hEvent);
    CloseHandle(source);
    Commit(target);
}

// The system's own copy, for reference: no job can use it for a piece.
void SystemCopy(const std::wstring& from, const std::wstring& to)
{
    BOOL cancel = FALSE;
    if (!CopyFileExW(from.c_str(), to.c_str(), nullptr, nullptr, &cancel, COPY_FILE_FAIL_IF_EXISTS))
        Fail("CopyFileExW");
    const HANDLE target = CreateFileW(to.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (target == INVALID_HANDLE_VALUE)
        Fail("opening the copy");
    Commit(target);
}

// Block cloning, as documented for ReFS; MinGW's headers do not have it.
constexpr DWORD kDuplicateExtentsToFile = CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 209, METHOD_BUFFERED, FILE_WRITE_ACCESS);
struct DuplicateExtentsData {
    HANDLE FileHandle;
    LARGE_INTEGER SourceFileOffset;
    LARGE_INTEGER TargetFileOffset;
    LARGE_INTEGER ByteCount;
};

// Whether the file system clones blocks between two files (ReFS does); the
// error code when it does not.
std::string BlockCloningProbe(const std::wstring& from, const std::wstring& to)
{
    const HANDLE source = OpenSource(from, 0);
    const HANDLE target = CreateTarget(to, FILE_ATTRIBUTE_NORMAL);
    LARGE_INTEGER length;
    length.QuadPart = 1 << 16;
    DuplicateExtentsData range{};
    range.FileHandle = source;
    range.ByteCount.QuadPart = length.QuadPart;
    DWORD returned = 0;
    const bool cloned = SetFilePointerEx(target, length, nullptr, FILE_BEGIN) && SetEndOfFile(target)
        && DeviceIoControl(target, kDuplicateExtentsToFile, &range, sizeof range, nullptr, 0, &returned,
                           nullptr);
    const DWORD error = GetLastError();
    CloseHandle(source);
    CloseHandle(target);
    DeleteFileW(to.c_str());
    return cloned ? "available" : "not available (error " + std::to_string(error) + ")";
}

void MakeSource(const std::wstring& path, std::int64_t size)
{
    const HANDLE file = CreateTarget(path, FILE_ATTRIBUTE_NORMAL);
    std::vector<char> block(1 << 20);
    std::uint32_t state = 12345;
    for (std::int64_t done = 0; done < size; done += static_cast<std::int64_t>(block.size())) {
        for (char& byte : block) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<char>(state >> 24);
        }
        WriteAll(file, block.data(), static_cast<DWORD>(block.size()));
    }
    Commit(file);
}

void WarmSource(const std::wstring& path, std::vector<char>& scratch)
{
    const HANDLE file = OpenSource(path, FILE_FLAG_SEQUENTIAL_SCAN);
    DWORD got = 0;
    while (ReadFile(file, scratch.data(), static_cast<DWORD>(scratch.size()), &got, nullptr) && got > 0) {
    }
    CloseHandle(file);
}

bool SameBytes(const std::wstring& a, const std::wstring& b, std::vector<char>& scratch)
{
    const HANDLE first = OpenSource(a, FILE_FLAG_SEQUENTIAL_SCAN);
    const HANDLE second = OpenSource(b, FILE_FLAG_SEQUENTIAL_SCAN);
    const DWORD half = static_cast<DWORD>(scratch.size() / 2);
    bool same = true;
    for (;;) {
        DWORD got1 = 0, got2 = 0;
        ReadFile(first, scratch.data(), half, &got1, nullptr);
        ReadFile(second, scratch.data() + half, half, &got2, nullptr);
        if (got1 != got2 || !std::equal(scratch.data(), scratch.data() + got1, scratch.data() + half)) {
            same = false;
            break;
        }
        if (got1 == 0)
            break;
    }
    CloseHandle(first);
    CloseHandle(second);
    return same;
}

struct Variant {
    std::string name;
    std::function<void(const std::wstring&, const std::wstring&)> copy;
    std::vector<double> seconds;
};

}  // namespace

int main(int argc, char** argv)
{
    const std::string directory = argc > 1 ? argv[1] : ".";
    const std::int64_t mebibytes = argc > 2 ? std::atoll(argv[2]) : 256;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    const std::wstring base(directory.begin(), directory.end());
    const std::wstring source = base + L"\\win_copy_bench.src";
    const std::wstring target = base + L"\\win_copy_bench.dst";
    DeleteFileW(source.c_str());
    DeleteFileW(target.c_str());
    MakeSource(source, mebibytes << 20);

    std::vector<char> scratch(8 << 20, 1);
    std::vector<Variant> variants;
    for (const DWORD kib : {64, 128, 256, 1024, 4096}) {
        variants.push_back({"loop " + std::to_string(kib) + " KiB, sequential scan", [kib, &scratch](auto& from, auto& to) {
                                std::vector<char> buffer(scratch.begin(), scratch.begin() + kib * 1024);
                                LoopCopy(from, to, buffer, FILE_FLAG_SEQUENTIAL_SCAN);
                            }, {}});
    }
    for (const DWORD kib : {128, 1024}) {
        variants.push_back({"loop " + std::to_string(kib) + " KiB, no flag", [kib, &scratch](auto& from, auto& to) {
                                std::vector<char> buffer(scratch.begin(), scratch.begin() + kib * 1024);
                                LoopCopy(from, to, buffer, FILE_ATTRIBUTE_NORMAL);
                            }, {}});
    }
    for (const DWORD kib : {128, 1024}) {
        variants.push_back({"overlapped 2 x " + std::to_string(kib) + " KiB", [kib, &scratch](auto& from, auto& to) {
                                std::vector<char> buffers(scratch.begin(), scratch.begin() + 2 * kib * 1024);
                                OverlappedCopy(from, to, buffers);
                            }, {}});
    }
    variants.push_back({"CopyFileExW (reference)", [](auto& from, auto& to) { SystemCopy(from, to); }, {}});

    for (int round = 0; round < rounds; ++round) {
        for (Variant& variant : variants) {
            WarmSource(source, scratch);
            const auto start = std::chrono::steady_clock::now();
            variant.copy(source, target);
            variant.seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            if (round == 0 && !SameBytes(source, target, scratch)) {
                std::fprintf(stderr, "win_copy_bench: %s made a different copy\n", variant.name.c_str());
                return 1;
            }
            if (!DeleteFileW(target.c_str()))
                Fail("deleting the copy");
        }
    }
    std::printf("%lld MiB in %s, durable, %d rounds interleaved\n", static_cast<long long>(mebibytes),
                directory.c_str(), rounds);
    std::printf("block cloning: %s\n", BlockCloningProbe(source, target).c_str());
    std::printf("%-36s %9s %9s %9s\n", "variant", "min s", "median s", "MiB/s");
    for (Variant& variant : variants) {
        std::sort(variant.seconds.begin(), variant.seconds.end());
        const double median = variant.seconds[variant.seconds.size() / 2];
        std::printf("%-36s %9.3f %9.3f %9.0f\n", variant.name.c_str(), variant.seconds.front(), median,
                    static_cast<double>(mebibytes) / median);
    }
    DeleteFileW(source.c_str());
    return 0;
}
