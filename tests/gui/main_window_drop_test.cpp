// Files dropped on the main window from outside, as Explorer drops them: the
// drop chooses the file as the chooser would, and is refused while a job runs.
// Also paths beyond the old 260-character limit, which only a drop (or the
// command line) can hand to the window.

#include <vector>

#include "file_drop.h"
#include "main_window.h"

namespace {

class MainWindowDrop : public MainWindowTest {
protected:
    void Drop(const std::vector<std::wstring>& paths)
    {
        ASSERT_TRUE(gui::DropFiles(app.Id(), window, paths)) << "the drop could not be delivered";
    }
};

TEST_F(MainWindowDrop, DroppedFileBecomesTheCurrentFileAndSplits)
{
    const std::wstring file = dir / L"dropped report.pdf";
    const std::wstring other = dir / L"second.bin";
    ASSERT_TRUE(gui::WriteTestFile(file, 1'000, 31));
    ASSERT_TRUE(gui::WriteTestFile(other, 10, 32));

    // Of several files, the first is taken.
    Drop({file, other});
    EXPECT_EQ(WaitForLabel(file), file);
    EXPECT_TRUE(LabelPaintedIn(kGreen, kRed)) << "a dropped path must be green, as a chosen one";

    EnterSize(L"300", L"B");
    gui::ClickButton(window, ids::kStartSplit);
    ExpectJobMessage(kSplitter, kSplit);
    EXPECT_EQ(WaitForLabel(kNoFile), kNoFile);
    EXPECT_TRUE(gui::HasPieces(file, 1'000, 31, 300));
    EXPECT_TRUE(gui::HasTestContents(other, 10, 32));
}

TEST_F(MainWindowDrop, DropDuringAJobIsRefusedWithTheJobsCaption)
{
    constexpr std::int64_t kPieceSize = 4096;
    constexpr std::int64_t kPieceCount = 1024;
    const std::wstring file = dir / L"big.iso";
    const std::wstring late = dir / L"late.txt";
    ASSERT_TRUE(gui::WriteTestFile(file, kPieceSize * kPieceCount, 33));
    ASSERT_TRUE(gui::WriteTestFile(late, 100, 34));
    Drop({file});
    ASSERT_EQ(WaitForLabel(file), file);
    EnterSize(std::to_wstring(kPieceSize), L"B");

    gui::ClickButton(window, ids::kStartSplit);
    ASSERT_TRUE(gui::MessageBoxes(app.Id()).empty()) << "the split ended before the drop";
    Drop({late});
    ExpectMessage(kSplitter, kBusy);
    EXPECT_EQ(LabelText(), file) << "a refused drop must not change the current file";

    ExpectMessage(kSplitter, kSplit);
    EXPECT_TRUE(gui::HasPieces(file, kPieceSize * kPieceCount, 33, kPieceSize));
    EXPECT_TRUE(gui::HasTestContents(late, 100, 34));
}

TEST_F(MainWindowDrop, PathsLongerThan260CharactersSplitAndJoin)
{
    const std::wstring folder = gui::MakeLongFolder(dir.Path());
    ASSERT_FALSE(folder.empty()) << "cannot make a folder with a long path";
    const std::wstring file = folder + L"\\long path file.bin";
    ASSERT_GT(file.size(), 260u);
    ASSERT_TRUE(gui::WriteTestFile(file, 5'000, 35));

    Drop({file});
    ASSERT_EQ(WaitForLabel(file), file);
    EnterSize(L"2", L"KB");
    gui::ClickButton(window, ids::kStartSplit);
    ExpectJobMessage(kSplitter, kSplit);
    EXPECT_TRUE(gui::HasPieces(file, 5'000, 35, 2048));

    Drop({gui::PieceName(file, 1, 3)});
    ASSERT_EQ(WaitForLabel(gui::PieceName(file, 1, 3)), gui::PieceName(file, 1, 3));
    gui::ClickButton(window, ids::kStartJoin);
    ExpectJobMessage(kJoiner, kJoined);
    EXPECT_TRUE(gui::HasTestContents(file, 5'000, 35));
    EXPECT_EQ(gui::FilesIn(folder), std::vector<std::wstring>{L"long path file.bin"});
}

}  // namespace
