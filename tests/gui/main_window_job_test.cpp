// The main window while a job runs: every new action is refused with the
// running job's caption, the About window still opens, and the window will
// not close until the job has ended.

#include <vector>

#include "main_window.h"

namespace {

// A thousand small pieces: splitting or joining them takes seconds, long
// enough for every click of a test to reach the job while it runs.
constexpr std::int64_t kPieceSize = 4096;
constexpr std::int64_t kPieceCount = 1024;
constexpr std::int64_t kFileSize = kPieceSize * kPieceCount;
// A job of a thousand pieces, each committed to disk, takes a while under
// Wine on a busy machine.
constexpr gui::Milliseconds kJobTimeout{120000};

class MainWindowDuringJob : public MainWindowTest {
protected:
    // The job is still running: nothing it reports has shown yet.
    void ExpectStillRunning()
    {
        const auto boxes = gui::MessageBoxes(app.Id());
        ASSERT_TRUE(boxes.empty()) << "the job ended before the test could act on it: \""
                                   << boxes.front().caption << "\": \"" << boxes.front().text << "\"";
    }

    // A click on `button` is refused with `caption` while the job runs.
    void ExpectClickRefused(int button, const std::wstring& caption)
    {
        SCOPED_TRACE(L"button " + std::to_wstring(button));
        ExpectStillRunning();
        gui::ClickButton(window, button);
        ExpectMessage(caption, kBusy);
    }

    // Closing the window as `close` does is refused with `caption`, and the window stays.
    template <class Close>
    void ExpectCloseRefused(Close close, const std::wstring& caption)
    {
        ExpectStillRunning();
        close();
        ExpectMessage(caption, kBusy);
        EXPECT_TRUE(IsWindowVisible(window));
    }

    // The About window opens, and closes with its close box.
    void ExpectAboutOpens()
    {
        HWND about = gui::WaitForTopLevel(app.Id(), L"About Vandrel 2.1", gui::kDialogClass);
        ASSERT_TRUE(about) << "no \"About Vandrel 2.1\" window";
        gui::PressCloseBox(about);
        ASSERT_TRUE(gui::WaitUntilGone(about));
    }
};

TEST_F(MainWindowDuringJob, SplitRefusesEveryActionAndTheCloseButStillShowsAbout)
{
    const std::wstring file = dir / L"video.mkv";
    ASSERT_TRUE(gui::WriteTestFile(file, kFileSize, 21));
    Choose(ids::kSelectSplit, file);
    EnterSize(std::to_wstring(kPieceSize), L"B");

    gui::ClickButton(window, ids::kStartSplit);
    ExpectClickRefused(ids::kSelectSplit, kSplitter);
    ExpectClickRefused(ids::kStartSplit, kSplitter);
    ExpectClickRefused(ids::kSelectJoin, kJoiner);
    ExpectClickRefused(ids::kStartJoin, kJoiner);
    ExpectStillRunning();
    gui::ClickButton(window, ids::kMore);
    ExpectAboutOpens();
    ExpectCloseRefused([&] { gui::PressCloseBox(window); }, kSplitter);
    ExpectCloseRefused([&] { gui::PressKey(window, VK_ESCAPE); }, kSplitter);
    ExpectStillRunning();

    ExpectMessage(kSplitter, kSplit, kJobTimeout);
    EXPECT_EQ(WaitForLabel(kNoFile), kNoFile);
    EXPECT_FALSE(gui::FileExists(file));
    EXPECT_EQ(gui::FilesIn(dir.Path()).size(), static_cast<size_t>(kPieceCount) + 1);  // and their list
    EXPECT_TRUE(gui::HasPieces(file, kFileSize, 21, kPieceSize));
    EXPECT_TRUE(app.IsRunning());
}

TEST_F(MainWindowDuringJob, JoinRefusesTheCloseAsFileJoiner)
{
    const std::wstring original = dir / L"backup.7z";
    ASSERT_EQ(gui::WritePieces(original, kFileSize, 22, kPieceSize), kPieceCount);
    Choose(ids::kSelectJoin, gui::PieceName(original, kPieceCount - 1, kPieceCount));

    gui::ClickButton(window, ids::kStartJoin);
    ExpectClickRefused(ids::kStartSplit, kSplitter);
    ExpectCloseRefused([&] { gui::PostClose(window); }, kJoiner);
    ExpectCloseRefused([&] { gui::PressCloseBox(window); }, kJoiner);
    ExpectStillRunning();
    PostMessageW(window, WM_SYSCOMMAND, 16, 0);  // the system menu's "&About Vandrel..."
    ExpectAboutOpens();
    ExpectStillRunning();

    ExpectMessage(kJoiner, kJoined, kJobTimeout);
    EXPECT_EQ(WaitForLabel(kNoFile), kNoFile);
    EXPECT_TRUE(gui::HasTestContents(original, kFileSize, 22));
    EXPECT_EQ(gui::FilesIn(dir.Path()), std::vector<std::wstring>{L"backup.7z"});
    EXPECT_TRUE(app.IsRunning());
}

}  // namespace
