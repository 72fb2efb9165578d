// Vandrel.exe started with the path of one piece, as the shell starts it when
// the user opens a piece file: the join runs at once behind a small progress
// window, and the process ends when the join has been reported, with the exit
// code of `vandrel join`: 0 succeeded, 1 failed, 2 refused.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "checksum_list.h"
#include "user_input.h"
#include "vandrel_test.h"

namespace {

const std::wstring kJoiner = L"File Joiner";
const std::wstring kJoined = L"File joining completed successfully";
const std::wstring kInvalidName = L"Please select one valid file to be joined with other files!";
constexpr int kProgressBarId = 1010;
constexpr DWORD kSucceeded = 0;
constexpr DWORD kFailed = 1;
constexpr DWORD kRefused = 2;

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

std::wstring NotFound(const std::wstring& piece)
{
    return L" The file \"" + piece + L"\" was not found, make sure all files to be joined are in the same directory";
}

Sha256Digest DigestOfFiles(const std::vector<std::wstring>& paths)
{
    Sha256 hash;
    std::vector<char> buffer(1 << 20);
    for (const std::wstring& path : paths) {
        std::ifstream in(std::filesystem::path(path), std::ios::binary);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
            hash.add(buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    return hash.finish();
}

std::string Bytes(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Writes the pieces of `leaf` in `folder` and the checksum list a split
// writes beside them, then flips one byte of piece `damaged`: the list no
// longer fits it, which a join finds only when it reaches that piece.
void WriteSetWithDamagedPiece(const std::wstring& folder, const std::wstring& leaf, std::int64_t size,
                              std::int64_t pieceSize, int damaged)
{
    const std::wstring original = folder + L"\\" + leaf;
    const std::int64_t count = gui::WritePieces(original, size, 9, pieceSize);
    ASSERT_GT(count, damaged);
    SetFacts facts;
    facts.originalLeaf = Narrow(leaf);
    facts.originalSize = size;
    facts.partSize = pieceSize;
    facts.countText = std::to_string(count);
    std::string list = FormatListHeader(facts);
    std::vector<std::wstring> pieces;
    for (std::int64_t i = 0; i < count; ++i) {
        pieces.push_back(gui::PieceName(original, i, count));
        list += FormatListLine({DigestOfFiles({pieces.back()}), Narrow(pieces.back().substr(folder.size() + 1))});
    }
    list += FormatListLine({DigestOfFiles(pieces), facts.originalLeaf});
    std::ofstream(std::filesystem::path(original + L".plit.sha256"), std::ios::binary) << list;

    std::fstream piece(std::filesystem::path(pieces[static_cast<std::size_t>(damaged)]),
                      std::ios::binary | std::ios::in | std::ios::out);
    char byte = 0;
    piece.seekg(10);
    piece.get(byte);
    piece.seekp(10);
    piece.put(static_cast<char>(byte ^ 1));
    ASSERT_TRUE(piece.good());
}

std::wstring Damaged(const std::wstring& piece)
{
    return L"The file \"" + piece + L"\" is damaged: its bytes are not those it was made with. Copy it again "
           L"from where it came from, then start the join again.";
}

class CommandLineJoin : public VandrelTest {
protected:
    // The progress window: captioned like the join's message boxes, but the
    // one with the bar.
    HWND WaitForProgressWindow()
    {
        return gui::WaitFor([&]() -> HWND {
            for (HWND window : gui::TopLevelWindows(app.Id())) {
                if (gui::CaptionOf(window) == kJoiner && gui::ClassOf(window) == gui::kDialogClass &&
                    gui::HasChild(window, kProgressBarId, L"msctls_progress32")) {
                    return window;
                }
            }
            return nullptr;
        });
    }

    // The message box that ends every command-line join, then the end of the
    // process with `exitCode`.
    void ExpectFinalMessage(const std::wstring& text, DWORD exitCode)
    {
        ExpectMessage(kJoiner, text);
        EXPECT_EQ(app.WaitForExit(), exitCode) << "the process must end, with the join's code, once it is reported";
    }
};

TEST_F(CommandLineJoin, QuotedPiecePathRebuildsTheFileAndRemovesEveryPiece)
{
    // The shell quotes a path with blanks in it.
    const std::wstring original = dir / L"holiday movie.avi";
    ASSERT_EQ(gui::WritePieces(original, 250'000, 1, 100'000), 3);

    Start(Quoted(gui::PieceName(original, 1, 3)));
    HWND window = WaitForProgressWindow();
    ASSERT_TRUE(window) << "no \"File Joiner\" window with a progress bar";

    const auto box = gui::WaitForMessageBox(app.Id());
    ASSERT_TRUE(box);
    EXPECT_TRUE(gui::WaitFor([&] { return gui::ProgressPosition(gui::Child(window, kProgressBarId)) == 100; }))
        << "the bar must be full once the join reports success";
    ExpectFinalMessage(kJoined, kSucceeded);

    EXPECT_TRUE(gui::HasTestContents(original, 250'000, 1));
    EXPECT_EQ(gui::FilesIn(dir.Path()), std::vector<std::wstring>{L"holiday movie.avi"});
}

TEST_F(CommandLineJoin, PiecePathLongerThan260CharactersIsJoined)
{
    const std::wstring folder = gui::MakeLongFolder(dir.Path());
    ASSERT_FALSE(folder.empty());
    const std::wstring original = folder + L"\\archive.tar";
    ASSERT_EQ(gui::WritePieces(original, 9'000, 7, 4'000), 3);

    Start(Quoted(gui::PieceName(original, 2, 3)));
    ExpectFinalMessage(kJoined, kSucceeded);

    EXPECT_TRUE(gui::HasTestContents(original, 9'000, 7));
    EXPECT_EQ(gui::FilesIn(folder), std::vector<std::wstring>{L"archive.tar"});
}

TEST_F(CommandLineJoin, UnquotedPiecePathIsTakenWhole)
{
    const std::wstring original = dir / L"archive.zip";
    ASSERT_EQ(gui::WritePieces(original, 10'000, 2, 4'000), 3);

    Start(gui::PieceName(original, 2, 3));
    ExpectFinalMessage(kJoined, kSucceeded);

    EXPECT_TRUE(gui::HasTestContents(original, 10'000, 2));
    EXPECT_EQ(gui::FilesIn(dir.Path()), std::vector<std::wstring>{L"archive.zip"});
}

TEST_F(CommandLineJoin, NameWithoutPieceCountIsRefusedAndTheProcessEnds)
{
    const std::wstring notes = dir / L"notes.txt";
    ASSERT_TRUE(gui::WriteTestFile(notes, 1'000, 3));

    Start(Quoted(notes));
    ASSERT_TRUE(WaitForProgressWindow());
    ExpectFinalMessage(kInvalidName, kRefused);

    EXPECT_TRUE(gui::HasTestContents(notes, 1'000, 3));
    EXPECT_EQ(gui::FilesIn(dir.Path()), std::vector<std::wstring>{L"notes.txt"});
}

TEST_F(CommandLineJoin, MissingPieceIsNamedAndNothingIsTouched)
{
    const std::wstring original = dir / L"movie.avi";
    ASSERT_EQ(gui::WritePieces(original, 30'000, 4, 10'000), 3);
    ASSERT_TRUE(DeleteFileW(gui::PieceName(original, 1, 3).c_str()));

    Start(Quoted(gui::PieceName(original, 0, 3)));
    ExpectFinalMessage(NotFound(gui::PieceName(original, 1, 3)), kRefused);

    EXPECT_FALSE(gui::FileExists(original));
    EXPECT_EQ(gui::FileSize(gui::PieceName(original, 0, 3)), 10'000);
    EXPECT_EQ(gui::FileSize(gui::PieceName(original, 2, 3)), 10'000);
}

// A piece that no longer matches its list is found once the pieces before it
// are in the rebuilt file and one of them is gone: the join fails there, keeps
// what it holds, and says so with exit code 1.
TEST_F(CommandLineJoin, PieceDamagedAfterAPieceWasDeletedFailsWithExitCodeOne)
{
    const std::wstring original = dir / L"movie.avi";
    ASSERT_NO_FATAL_FAILURE(WriteSetWithDamagedPiece(dir.Path(), L"movie.avi", 250'000, 70'000, 3));
    const std::wstring damaged = gui::PieceName(original, 3, 4);
    const std::string damagedBytes = Bytes(damaged);
    const std::wstring whole = dir / L"whole.bin";
    ASSERT_TRUE(gui::WriteTestFile(whole, 250'000, 9));
    const std::string wholeBytes = Bytes(whole);
    ASSERT_TRUE(DeleteFileW(whole.c_str()));

    Start(Quoted(gui::PieceName(original, 1, 4)));
    ExpectFinalMessage(Damaged(damaged), kFailed);

    // Pieces 0 and 1 are in the rebuilt file alone; 2 and the damaged 3 stay.
    EXPECT_EQ(Bytes(original), wholeBytes.substr(0, 140'000));
    EXPECT_EQ(Bytes(gui::PieceName(original, 2, 4)), wholeBytes.substr(140'000, 70'000));
    EXPECT_EQ(Bytes(damaged), damagedBytes);
    EXPECT_FALSE(gui::FileExists(gui::PieceName(original, 0, 4)));
    EXPECT_FALSE(gui::FileExists(gui::PieceName(original, 1, 4)));
}

// A damaged piece met before any piece is gone puts the set back as it was:
// a refusal, exit code 2.
TEST_F(CommandLineJoin, PieceDamagedBeforeAnyPieceIsGoneIsRefusedWithExitCodeTwo)
{
    const std::wstring original = dir / L"movie.avi";
    ASSERT_NO_FATAL_FAILURE(WriteSetWithDamagedPiece(dir.Path(), L"movie.avi", 250'000, 100'000, 2));
    std::vector<std::string> before;
    for (const std::wstring& name : gui::FilesIn(dir.Path()))
        before.push_back(Bytes(dir / name));

    Start(Quoted(gui::PieceName(original, 1, 3)));
    ExpectFinalMessage(Damaged(gui::PieceName(original, 2, 3)), kRefused);

    std::vector<std::string> after;
    for (const std::wstring& name : gui::FilesIn(dir.Path()))
        after.push_back(Bytes(dir / name));
    EXPECT_TRUE(after == before) << "a refused join changed a file";
}

// Opening a piece whose original is still there (a split that did not end,
// a copy kept by hand) never writes over that file: the join says so.
TEST_F(CommandLineJoin, ExistingOriginalIsNamedAndKept)
{
    const std::wstring original = dir / L"thesis.pdf";
    ASSERT_EQ(gui::WritePieces(original, 10'000, 5, 4'000), 3);
    ASSERT_TRUE(gui::WriteTestFile(original, 7'000, 6));

    Start(Quoted(gui::PieceName(original, 0, 3)));
    ExpectFinalMessage(L"The file \"" + original + L"\" already exists. Move or rename it, then start the join again.",
                       kRefused);

    EXPECT_TRUE(gui::HasTestContents(original, 7'000, 6));
    EXPECT_EQ(gui::FilesIn(dir.Path()).size(), 4u);
}

TEST_F(CommandLineJoin, RelativePieceNameIsFoundInTheProgramsFolder)
{
    // A copy of the program in the test's folder, started from another
    // folder with a bare piece name: only the program's folder holds it.
    std::vector<std::wstring> expected = CopyProgramTo(dir.Path());
    const std::wstring exe = dir / L"Vandrel.exe";
    const std::wstring elsewhere = dir / L"elsewhere";
    ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
    ASSERT_EQ(gui::WritePieces(dir / L"song.mp3", 5'000, 5, 2'000), 3);

    Start(Quoted(L"song.mp3.0.3.plit"), elsewhere, exe);
    ExpectFinalMessage(kJoined, kSucceeded);

    EXPECT_TRUE(gui::HasTestContents(dir / L"song.mp3", 5'000, 5));
    expected.push_back(L"song.mp3");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(gui::FilesIn(dir.Path()), expected);
    EXPECT_TRUE(gui::FilesIn(elsewhere).empty());
}

TEST_F(CommandLineJoin, ClosingTheProgressWindowDoesNotCutTheJoinShort)
{
    // Large enough that the join is still copying when the close requests arrive.
    constexpr std::int64_t kSize = 300'000'000;
    constexpr std::int64_t kPieceSize = 100'000'000;
    const std::wstring original = dir / L"disk.img";
    ASSERT_EQ(gui::WritePieces(original, kSize, 6, kPieceSize), 3);

    Start(Quoted(gui::PieceName(original, 0, 3)));
    HWND window = WaitForProgressWindow();
    ASSERT_TRUE(window);
    ASSERT_TRUE(gui::MessageBoxes(app.Id()).empty()) << "the join ended before the window could be closed";

    // Every way a user closes a window: close box or Alt+F4, Escape, WM_CLOSE.
    gui::PressCloseBox(window);
    gui::PressKey(window, VK_ESCAPE);
    gui::PressCommand(window, IDCANCEL);
    gui::PostClose(window);

    gui::WaitFor([&] { return !app.IsRunning() || !gui::MessageBoxes(app.Id()).empty(); });
    ASSERT_TRUE(app.IsRunning()) << "closing the window ended the process in the middle of the join";
    ExpectFinalMessage(kJoined, kSucceeded);

    EXPECT_TRUE(gui::HasTestContents(original, kSize, 6));
    EXPECT_EQ(gui::FilesIn(dir.Path()), std::vector<std::wstring>{L"disk.img"});
}

// Closing the window during a join that then fails must not turn the failure
// into a success for the caller.
TEST_F(CommandLineJoin, ClosingTheProgressWindowKeepsAFailuresExitCode)
{
    constexpr std::int64_t kSize = 300'000'000;
    constexpr std::int64_t kPieceSize = 75'000'000;
    const std::wstring original = dir / L"disk.img";
    ASSERT_NO_FATAL_FAILURE(WriteSetWithDamagedPiece(dir.Path(), L"disk.img", kSize, kPieceSize, 3));

    Start(Quoted(gui::PieceName(original, 0, 4)));
    HWND window = WaitForProgressWindow();
    ASSERT_TRUE(window);
    ASSERT_TRUE(gui::MessageBoxes(app.Id()).empty()) << "the join ended before the window could be closed";
    gui::PressCloseBox(window);
    gui::PressKey(window, VK_ESCAPE);
    gui::PressCommand(window, IDCANCEL);
    gui::PostClose(window);

    ExpectFinalMessage(Damaged(gui::PieceName(original, 3, 4)), kFailed);
    EXPECT_EQ(gui::FileSize(original), 2 * kPieceSize);
    EXPECT_EQ(gui::FileSize(gui::PieceName(original, 2, 4)), kPieceSize);
    EXPECT_EQ(gui::FileSize(gui::PieceName(original, 3, 4)), kPieceSize);
}

}  // namespace
