// Vandrel.exe started with the path of one piece, as the shell starts it when
// the user opens a piece file: the join runs at once behind a small progress
// window, and the process ends when the join has been reported.

#include <algorithm>
#include <vector>

#include "user_input.h"
#include "vandrel_test.h"

namespace {

const std::wstring kJoiner = L"File Joiner";
const std::wstring kJoined = L"File joining completed successfully";
const std::wstring kInvalidName = L"Please select one valid file to be joined with other files!";
constexpr int kProgressBarId = 1010;

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

std::wstring NotFound(const std::wstring& piece)
{
    return L" The file \"" + piece + L"\" was not found, make sure all files to be joined are in the same directory";
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

    // The message box that ends every command-line join, then the end of the process.
    void ExpectFinalMessage(const std::wstring& text)
    {
        ExpectMessage(kJoiner, text);
        EXPECT_EQ(app.WaitForExit(), 0u) << "the process must end, with code 0, once the join is reported";
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
    ExpectFinalMessage(kJoined);

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
    ExpectFinalMessage(kJoined);

    EXPECT_TRUE(gui::HasTestContents(original, 9'000, 7));
    EXPECT_EQ(gui::FilesIn(folder), std::vector<std::wstring>{L"archive.tar"});
}

TEST_F(CommandLineJoin, UnquotedPiecePathIsTakenWhole)
{
    const std::wstring original = dir / L"archive.zip";
    ASSERT_EQ(gui::WritePieces(original, 10'000, 2, 4'000), 3);

    Start(gui::PieceName(original, 2, 3));
    ExpectFinalMessage(kJoined);

    EXPECT_TRUE(gui::HasTestContents(original, 10'000, 2));
    EXPECT_EQ(gui::FilesIn(dir.Path()), std::vector<std::wstring>{L"archive.zip"});
}

TEST_F(CommandLineJoin, NameWithoutPieceCountIsRefusedAndTheProcessEnds)
{
    const std::wstring notes = dir / L"notes.txt";
    ASSERT_TRUE(gui::WriteTestFile(notes, 1'000, 3));

    Start(Quoted(notes));
    ASSERT_TRUE(WaitForProgressWindow());
    ExpectFinalMessage(kInvalidName);

    EXPECT_TRUE(gui::HasTestContents(notes, 1'000, 3));
    EXPECT_EQ(gui::FilesIn(dir.Path()), std::vector<std::wstring>{L"notes.txt"});
}

TEST_F(CommandLineJoin, MissingPieceIsNamedAndNothingIsTouched)
{
    const std::wstring original = dir / L"movie.avi";
    ASSERT_EQ(gui::WritePieces(original, 30'000, 4, 10'000), 3);
    ASSERT_TRUE(DeleteFileW(gui::PieceName(original, 1, 3).c_str()));

    Start(Quoted(gui::PieceName(original, 0, 3)));
    ExpectFinalMessage(NotFound(gui::PieceName(original, 1, 3)));

    EXPECT_FALSE(gui::FileExists(original));
    EXPECT_EQ(gui::FileSize(gui::PieceName(original, 0, 3)), 10'000);
    EXPECT_EQ(gui::FileSize(gui::PieceName(original, 2, 3)), 10'000);
}

// Opening a piece whose original is still there (a split that did not end,
// a copy kept by hand) never writes over that file: the join says so.
TEST_F(CommandLineJoin, ExistingOriginalIsNamedAndKept)
{
    const std::wstring original = dir / L"thesis.pdf";
    ASSERT_EQ(gui::WritePieces(original, 10'000, 5, 4'000), 3);
    ASSERT_TRUE(gui::WriteTestFile(original, 7'000, 6));

    Start(Quoted(gui::PieceName(original, 0, 3)));
    ExpectFinalMessage(L"The file \"" + original + L"\" already exists. Move or rename it, then start the join again.");

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
    ExpectFinalMessage(kJoined);

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
    ExpectFinalMessage(kJoined);

    EXPECT_TRUE(gui::HasTestContents(original, kSize, 6));
    EXPECT_EQ(gui::FilesIn(dir.Path()), std::vector<std::wstring>{L"disk.img"});
}

}  // namespace
