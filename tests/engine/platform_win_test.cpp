// The real Win32 platform layer, under Windows or Wine: free-space queries,
// deletion that fails, names outside the ANSI code page, device names, the
// rename that never replaces, a writer kept out of a split's input (read, or
// cut in place), the room available in a folder, and the size of reads and
// writes.

#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "file_system.h"
#include "job_messages.h"
#include "platform/free_space.h"
#include "platform/text.h"

namespace {

// The fixture with the platform's own file system in place of the faulty one.
class WindowsPlatform : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        setFileSystem(nullptr);
    }

    static std::wstring Wide(const std::string& path) { return ToWidePath(path); }
    // The same path in the \\?\ form, which reaches names such as aux.bin as files.
    static std::wstring Verbatim(const std::string& path) { return L"\\\\?\\" + Wide(path); }
};

TEST_F(WindowsPlatform, FreeSpaceOfADrivePath)
{
    EXPECT_GT(QueryVolumeFreeBytes("Z:\\tmp\\anything.bin"), 0);
    EXPECT_GT(QueryVolumeFreeBytes(path("in.bin")), 0);
}

// The room a split in place counts on is asked of the folder that holds the
// input, which must exist; no copy shares extents here.
TEST_F(WindowsPlatform, AvailableSpaceOfAFolder)
{
    FileSystem& files = platformFileSystem();
    for (const std::string& at : {path("in.bin"), std::string("Z:\\tmp\\anything.bin")}) {
        SCOPED_TRACE(at);
        EXPECT_GT(files.volumeAvailableBytes(at), 0);
        EXPECT_EQ(files.extentSharingBlock(at), 0);
    }
    EXPECT_EQ(files.volumeAvailableBytes("Z:\\no\\such\\folder\\in.bin"), FREE_QUERY_FAILED);
}

TEST_F(WindowsPlatform, FreeSpaceQueryFailsForNetworkAndShortPaths)
{
    EXPECT_EQ(QueryVolumeFreeBytes("\\\\server\\share\\movie.avi"), FREE_QUERY_FAILED);
    EXPECT_EQ(QueryVolumeFreeBytes("\\\\"), FREE_QUERY_FAILED);
    EXPECT_EQ(QueryVolumeFreeBytes("Z"), FREE_QUERY_FAILED);
    EXPECT_EQ(QueryVolumeFreeBytes(""), FREE_QUERY_FAILED);
}

TEST_F(WindowsPlatform, ReadOnlyInputIsSplitAndStays)
{
    const std::string content = MakeContent(1000, 4);
    WriteFileBytes(path("ro.bin"), content);
    ASSERT_TRUE(SetFileAttributesW(Wide(path("ro.bin")).c_str(), FILE_ATTRIBUTE_READONLY));

    runSplit(path("ro.bin"), 300);

    expectOutcome(kSplitSucceeded, kSplitter);
    EXPECT_EQ(ReadFileBytes(path("ro.bin")), content);
    const std::vector<std::string> slices = Slices(content, 300);
    for (std::size_t i = 0; i < slices.size(); ++i)
        EXPECT_EQ(ReadFileBytes(path("ro.bin." + std::to_string(i) + ".4.plit")), slices[i]) << i;
    SetFileAttributesW(Wide(path("ro.bin")).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WindowsPlatform, NamesOutsideTheAnsiCodePageSplitAndJoin)
{
    const std::string name = "\xD0\x94\xD0\xB0\xD1\x87\xD0\xB0 \xE6\x96\x87\xE4\xBB\xB6 \xF0\x9F\x98\x80.bin";
    const std::string content = MakeContent(1000, 6);
    WriteFileBytes(path(name), content);

    runSplit(path(name), 400);
    expectOutcome(kSplitSucceeded, kSplitter);
    EXPECT_EQ(filesInDir(), WithList({name + ".0.3.plit", name + ".1.3.plit", name + ".2.3.plit"}, name));
    EXPECT_EQ(GetFileAttributesW(Wide(path(name)).c_str()), INVALID_FILE_ATTRIBUTES);

    sink_.events.clear();
    runJoin(path(name + ".2.3.plit"));
    expectOutcome(kJoinSucceeded, kJoiner);
    EXPECT_EQ(filesInDir(), std::vector<std::string>{name});
    EXPECT_EQ(ReadFileBytes(path(name)), content);
}

TEST_F(WindowsPlatform, PieceHeldOpenWithoutDeleteSharingStopsTheJoinAfterIt)
{
    const std::string content = MakeContent(700, 8);
    const std::vector<std::string> pieces = Slices(content, 300);
    for (std::size_t i = 0; i < pieces.size(); ++i)
        WriteFileBytes(path("held.bin." + std::to_string(i) + ".3.plit"), pieces[i]);
    const HANDLE holder = CreateFileW(Wide(path("held.bin.1.3.plit")).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);

    runJoin(path("held.bin.0.3.plit"));
    CloseHandle(holder);

    // It stops the join, which names it; its bytes are in the output.
    expectOutcome(job_messages::JoinFileNotDeleted(path("held.bin.1.3.plit"), path("held.bin")), kJoiner);
    EXPECT_EQ(result_.outcome, JobOutcome::Failed);
    EXPECT_EQ(ReadFileBytes(path("held.bin")), content);
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"held.bin", "held.bin.1.3.plit"}));
    EXPECT_EQ(ReadFileBytes(path("held.bin.1.3.plit")), pieces[1]);

    // Let go, it is deleted by the next join, which finds its bytes in place.
    sink_.events.clear();
    runJoin(path("held.bin.1.3.plit"));
    expectOutcome(kJoinSucceeded, kJoiner);
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"held.bin"});
    EXPECT_EQ(ReadFileBytes(path("held.bin")), content);
}

TEST_F(WindowsPlatform, ReadOnlyOutputIsAFailedJoin)
{
    const std::vector<std::string> pieces = {MakeContent(300), MakeContent(100, 2)};
    WriteFileBytes(path("out.bin.0.2.plit"), pieces[0]);
    WriteFileBytes(path("out.bin.1.2.plit"), pieces[1]);
    WriteFileBytes(path("out.bin"), "old");
    ASSERT_TRUE(SetFileAttributesW(Wide(path("out.bin")).c_str(), FILE_ATTRIBUTE_READONLY));
    // Wine run by root opens a read-only file for writing all the same.
    const HANDLE probe = CreateFileW(Wide(path("out.bin")).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        SetFileAttributesW(Wide(path("out.bin")).c_str(), FILE_ATTRIBUTE_NORMAL);
        GTEST_SKIP() << "this system lets a read-only file be opened for writing";
    }

    runJoin(path("out.bin.0.2.plit"));

    expectOutcome(kJoinFailed, kJoiner);
    EXPECT_EQ(ReadFileBytes(path("out.bin.0.2.plit")), pieces[0]);
    EXPECT_EQ(ReadFileBytes(path("out.bin.1.2.plit")), pieces[1]);
    EXPECT_EQ(ReadFileBytes(path("out.bin")), "old");
    SetFileAttributesW(Wide(path("out.bin")).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WindowsPlatform, RenameNoReplaceMovesOnlyToAFreeName)
{
    FileSystem& files = platformFileSystem();
    WriteFileBytes(path("a.bin.0.2.plit"), "piece zero");
    WriteFileBytes(path("a.bin"), "in the way");

    EXPECT_FALSE(files.renameNoReplace(path("a.bin.0.2.plit"), path("a.bin")));
    EXPECT_FALSE(files.lastError().empty());
    EXPECT_EQ(ReadFileBytes(path("a.bin.0.2.plit")), "piece zero");
    EXPECT_EQ(ReadFileBytes(path("a.bin")), "in the way");

    ASSERT_TRUE(DeleteFileW(Wide(path("a.bin")).c_str()));
    ASSERT_TRUE(CreateDirectoryW(Wide(path("a.bin")).c_str(), nullptr));
    EXPECT_FALSE(files.renameNoReplace(path("a.bin.0.2.plit"), path("a.bin")));
    EXPECT_EQ(ReadFileBytes(path("a.bin.0.2.plit")), "piece zero");
    ASSERT_TRUE(RemoveDirectoryW(Wide(path("a.bin")).c_str()));

    const std::optional<FileIdentity> before = files.identityAt(path("a.bin.0.2.plit"));
    ASSERT_TRUE(before);
    ASSERT_TRUE(files.renameNoReplace(path("a.bin.0.2.plit"), path("a.bin"))) << files.lastError();
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"a.bin"});
    EXPECT_EQ(ReadFileBytes(path("a.bin")), "piece zero");
    const std::optional<FileIdentity> after = files.identityAt(path("a.bin"));
    ASSERT_TRUE(after);
    EXPECT_TRUE(after->sameFileAs(*before));
}

// The join renames piece 0 while it holds it open for reading: that must not
// stand in the way. A program that holds it without delete sharing does, and
// then both names stay as they were.
TEST_F(WindowsPlatform, RenameNoReplaceAndHandlesOnTheFile)
{
    FileSystem& files = platformFileSystem();
    WriteFileBytes(path("b.bin.0.2.plit"), "0123456789");
    std::unique_ptr<File> reading = files.openForReading(path("b.bin.0.2.plit"));
    ASSERT_TRUE(reading);
    ASSERT_TRUE(files.renameNoReplace(path("b.bin.0.2.plit"), path("b.bin"))) << files.lastError();
    char bytes[16] = {};
    EXPECT_EQ(reading->read(bytes, sizeof bytes), 10);
    EXPECT_EQ(std::string(bytes, 10), "0123456789");
    EXPECT_TRUE(reading->close());
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"b.bin"});

    const HANDLE holder = CreateFileW(Wide(path("b.bin")).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const bool renamed = files.renameNoReplace(path("b.bin"), path("c.bin"));
    CloseHandle(holder);
    if (renamed)
        GTEST_SKIP() << "this system renames a file held open without delete sharing";
    EXPECT_FALSE(files.lastError().empty());
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"b.bin"});
    EXPECT_EQ(ReadFileBytes(path("b.bin")), "0123456789");
}

// While the split reads its input, no other process opens it for writing:
// Windows refuses it a handle (Wine does so among its own processes, as this
// test is one), and the split completes with the bytes it read.
TEST_F(WindowsPlatform, WriterIsRefusedWhileTheSplitRuns)
{
    setFileSystem(&files_);
    const std::string content = MakeContent(1000, 10);
    WriteFileBytes(path("in.bin"), content);
    DWORD refusal = ERROR_SUCCESS;
    files_.beforeCall = [&](IoCall call, const std::string& name) {
        if (call != IoCall::CreateNew || name != path("in.bin.2.4.plit"))
            return;
        const HANDLE writer = CreateFileW(Wide(path("in.bin")).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        refusal = writer == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
    };
    runSplit(path("in.bin"), 300);
    EXPECT_EQ(refusal, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    expectOutcome(kSplitSucceeded, kSplitter);
    const std::vector<std::string> slices = Slices(content, 300);
    for (std::size_t i = 0; i < slices.size(); ++i)
        EXPECT_EQ(ReadFileBytes(path("in.bin." + std::to_string(i) + ".4.plit")), slices[i]) << i;
}

// A split in place holds its input open while it cuts it, renames it to
// piece 0 and flushes it under that name; no other process opens it for
// writing meanwhile, while one that reads and shares writing still may.
TEST_F(WindowsPlatform, InputToCutIsCutRenamedAndFlushedWithNoOtherWriter)
{
    FileSystem& files = platformFileSystem();
    const std::string content = MakeContent(1000, 11);
    WriteFileBytes(path("in.bin"), content);
    GuardedFile cut = files.openForCutting(path("in.bin"));
    ASSERT_TRUE(cut.file) << files.lastError();
    EXPECT_FALSE(cut.inUseForWriting);
    const std::optional<FileIdentity> opened = cut.file->identity();
    ASSERT_TRUE(opened);

    const auto openedBy = [&](DWORD access, DWORD share) {
        const HANDLE other = CreateFileW(Wide(path("in.bin")).c_str(), access, share, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = other == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (other != INVALID_HANDLE_VALUE)
            CloseHandle(other);
        return error;
    };
    const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    EXPECT_EQ(openedBy(GENERIC_WRITE, shareAll), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(openedBy(GENERIC_READ | GENERIC_WRITE, shareAll), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(openedBy(GENERIC_READ, shareAll), static_cast<DWORD>(ERROR_SUCCESS));

    EXPECT_TRUE(cut.file->truncate(600)) << files.lastError();
    EXPECT_TRUE(cut.file->truncate(300)) << files.lastError();
    ASSERT_TRUE(files.renameNoReplace(path("in.bin"), path("in.bin.0.4.plit"))) << files.lastError();
    EXPECT_TRUE(cut.file->flush()) << files.lastError();
    EXPECT_TRUE(cut.file->untouchedByWriters());
    const std::optional<FileIdentity> renamed = files.identityAt(path("in.bin.0.4.plit"));
    ASSERT_TRUE(renamed);
    EXPECT_TRUE(renamed->sameFileAs(*opened));
    EXPECT_EQ(renamed->size, 300);
    EXPECT_TRUE(cut.file->close());
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"in.bin.0.4.plit"});
    EXPECT_EQ(ReadFileBytes(path("in.bin.0.4.plit")), content.substr(0, 300));
}

// Who else holds the input, or what it is, when a split in place opens it:
// a file open for writing elsewhere (or read by a process that lets no other
// write) is in use; a file with a second name does not open; nothing found
// changes.
TEST_F(WindowsPlatform, InputToCutOpensOnlyWhenItIsPlainAndFree)
{
    const std::string content = MakeContent(1000, 12);
    const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const struct {
        const char* what;
        DWORD access;  // of the other process's handle, none when 0
        DWORD share;
        bool secondName;
        bool opens;
        bool inUseForWriting;
    } cases[] = {
        {"a plain file", 0, 0, false, true, false},
        {"read elsewhere, sharing all", GENERIC_READ, shareAll, false, true, false},
        {"open for writing elsewhere", GENERIC_WRITE, shareAll, false, false, true},
        {"read elsewhere, sharing no writing", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, false, false, true},
        {"a file with a second name", 0, 0, true, false, false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        for (const std::string& name : filesInDir())
            DeleteFileW(Wide(path(name)).c_str());
        WriteFileBytes(path("in.bin"), content);
        if (row.secondName) {
            ASSERT_TRUE(CreateHardLinkW(Wide(path("other.bin")).c_str(), Wide(path("in.bin")).c_str(), nullptr));
        }
        const HANDLE other = row.access == 0 ? INVALID_HANDLE_VALUE
                                             : CreateFileW(Wide(path("in.bin")).c_str(), row.access, row.share, nullptr,
                                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_TRUE(row.access == 0 || other != INVALID_HANDLE_VALUE);
        GuardedFile cut = platformFileSystem().openForCutting(path("in.bin"));
        EXPECT_EQ(cut.file != nullptr, row.opens);
        EXPECT_EQ(cut.inUseForWriting, row.inUseForWriting);
        if (!row.opens) {
            EXPECT_FALSE(platformFileSystem().lastError().empty());
        }
        cut.file.reset();
        if (other != INVALID_HANDLE_VALUE)
            CloseHandle(other);
        EXPECT_EQ(ReadFileBytes(path("in.bin")), content);
    }
}

// A split in place keeps other writers out of its input while it cuts it, and
// renames it to piece 0 while it holds it open.
TEST_F(WindowsPlatform, SplitInPlaceKeepsWritersOutAndRenamesItsInput)
{
    setFileSystem(&files_);
    jobState.inPlace = InPlaceChoice::Always;
    const std::string content = MakeContent(1000, 14);
    WriteFileBytes(path("in.bin"), content);
    DWORD refusal = ERROR_SUCCESS;
    files_.beforeCall = [&](IoCall call, const std::string& name) {
        if (call != IoCall::CreateNew || name != path("in.bin.2.4.plit"))
            return;
        const HANDLE writer = CreateFileW(Wide(path("in.bin")).c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        refusal = writer == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
    };
    runSplit(path("in.bin"), 300);
    EXPECT_EQ(refusal, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(result_.inPlace);
    EXPECT_EQ(result_.outcome, JobOutcome::Succeeded) << result_.file << ": " << result_.reason;
    EXPECT_FALSE(FileExists(path("in.bin")));
    const std::vector<std::string> slices = Slices(content, 300);
    for (std::size_t i = 0; i < slices.size(); ++i)
        EXPECT_EQ(ReadFileBytes(path("in.bin." + std::to_string(i) + ".4.plit")), slices[i]) << i;
}

// Larger calls to files on a network share fail: a read asks for 4 MiB at
// most, and a write of more lands whole all the same.
TEST_F(WindowsPlatform, ReadsAndWritesGoInCallsOfAtMost4MiB)
{
    FileSystem& files = platformFileSystem();
    const std::string bytes = MakeContent(9 << 20, 3);
    std::unique_ptr<File> out = files.createNew(path("big.bin"));
    ASSERT_TRUE(out);
    EXPECT_TRUE(out->write(bytes.data(), static_cast<std::int64_t>(bytes.size())));
    EXPECT_TRUE(out->close());
    EXPECT_TRUE(ReadFileBytes(path("big.bin")) == bytes);

    std::unique_ptr<File> in = files.openForReading(path("big.bin"));
    ASSERT_TRUE(in);
    std::string got(bytes.size(), '\0');
    EXPECT_EQ(in->read(got.data(), static_cast<std::int64_t>(got.size())), 4 << 20);
}

// Writes `bytes` to a file whose name is a device name (such as aux.bin),
// which only the \\?\ form reaches as a file.
void WriteVerbatim(const std::wstring& path, const std::string& bytes)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr));
    CloseHandle(file);
}

std::string ReadVerbatim(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    std::string bytes(4096, '\0');
    DWORD got = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

// aux.bin and every piece name made from it (aux.bin.0.2.plit) reach the AUX
// device, where writes "succeed". A file of that name on disk must neither be
// split nor rebuilt through the device, and nothing may be deleted.
TEST_F(WindowsPlatform, DeviceNamesAreNeverTakenForFiles)
{
    // The device takes writes as if it were a file.
    const HANDLE device = CreateFileW(Wide(path("aux.bin.0.2.plit")).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_NE(GetFileType(device), static_cast<DWORD>(FILE_TYPE_DISK));
    CloseHandle(device);

    const std::string content = MakeContent(1000, 12);
    WriteVerbatim(Verbatim(path("aux.bin")), content);
    runSplit(path("aux.bin"), 300);
    expectRefused("Please select a file to split!", kSplitter);
    EXPECT_EQ(ReadVerbatim(Verbatim(path("aux.bin"))), content);
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"aux.bin"});

    sink_.events.clear();
    ASSERT_TRUE(DeleteFileW(Verbatim(path("aux.bin")).c_str()));
    WriteVerbatim(Verbatim(path("aux.bin.0.2.plit")), content.substr(0, 600));
    WriteVerbatim(Verbatim(path("aux.bin.1.2.plit")), content.substr(600));
    runJoin(path("aux.bin.1.2.plit"));
    // The list's name, read first, reaches the device too.
    expectRefused(job_messages::JoinListUnfit(path("aux.bin.plit.sha256")), kJoiner);
    EXPECT_EQ(ReadVerbatim(Verbatim(path("aux.bin.0.2.plit"))), content.substr(0, 600));
    EXPECT_EQ(ReadVerbatim(Verbatim(path("aux.bin.1.2.plit"))), content.substr(600));
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"aux.bin.0.2.plit", "aux.bin.1.2.plit"}));

    DeleteFileW(Verbatim(path("aux.bin.0.2.plit")).c_str());
    DeleteFileW(Verbatim(path("aux.bin.1.2.plit")).c_str());
}

}  // namespace

#endif  // _WIN32
