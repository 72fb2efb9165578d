// A split whose disk cannot hold the file and its pieces side by side: the
// main window asks once, under "File Splitter", whether to split the file in
// place. Yes cuts it into its pieces, the bar running to its end; No leaves
// the file as it was, with no other message, and the window ready for the
// next job. The small disk is a tmpfs of 8 MiB that the tests' fixture
// mounts (as root) as a drive of its own, named by VANDREL_SMALL_DISK (V:);
// without it these tests skip.

#include <cstdlib>
#include <vector>

#include "job_messages.h"
#include "main_window.h"

namespace {

constexpr std::int64_t kPieceSize = 1 << 20;
// Five pieces, the last a little short: 10 MiB side by side, and one piece's
// room is left beside the file.
constexpr std::int64_t kFileSize = 5 * kPieceSize - 1000;
constexpr std::uint64_t kSeed = 31;
constexpr std::int64_t kLargestSmallDisk = 16 * kPieceSize;
constexpr gui::Milliseconds kJobTimeout{60000};

// The path as the job's message spells it: the test's paths are ASCII.
std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

class MainWindowOnASmallDisk : public MainWindowTest {
protected:
    void SetUp() override
    {
        const char* disk = std::getenv("VANDREL_SMALL_DISK");
        if (!disk || !*disk) {
            GTEST_SKIP() << "VANDREL_SMALL_DISK names no small disk";
        }
        folder = Wide(disk);
        ULARGE_INTEGER available{}, total{}, free{};
        if (!GetDiskFreeSpaceExW((folder + L"\\").c_str(), &available, &total, &free) ||
            total.QuadPart > static_cast<ULONGLONG>(kLargestSmallDisk)) {
            GTEST_SKIP() << "no small disk at " << disk << " (the fixture mounts a tmpfs there as root)";
        }
        file = folder + L"\\film.mkv";
        ASSERT_TRUE(gui::WriteTestFile(file, kFileSize, kSeed));
        MainWindowTest::SetUp();
    }

    // Empties the small disk for the next test; nothing when the test skipped.
    void TearDown() override
    {
        if (file.empty())
            return;
        app.Kill();
        for (const std::wstring& name : gui::FilesIn(folder))
            DeleteFileW((folder + L"\\" + name).c_str());
    }

    // Starts a split of the file into pieces of 1 MB and answers the
    // question with `button`.
    void SplitAnswering(int button)
    {
        gui::ClickButton(window, ids::kStartSplit);
        const auto box = gui::WaitForMessageBox(app.Id());
        ASSERT_TRUE(box) << "no question";
        EXPECT_EQ(box->caption, kSplitter);
        EXPECT_EQ(box->text, Wide(job_messages::SplitInPlaceQuestion(Narrow(file))));
        EXPECT_TRUE(box->question) << "the box has no Yes and No buttons";
        ASSERT_TRUE(gui::AnswerMessageBox(*box, button));
    }

    std::wstring folder;
    std::wstring file;
};

TEST_F(MainWindowOnASmallDisk, YesSplitsTheFileInPlace)
{
    Choose(ids::kSelectSplit, file);
    EnterSize(L"1", L"MB");
    SplitAnswering(IDYES);

    // Asked once: the next box is the outcome.
    ASSERT_TRUE(gui::WaitForMessageBox(app.Id(), kJobTimeout)) << "the split did not report";
    EXPECT_TRUE(gui::WaitFor([&] { return BarPosition() == 100; })) << "the bar must be full when the split reports";
    ExpectMessage(kSplitter, kSplit);
    EXPECT_EQ(WaitForLabel(kNoFile), kNoFile);
    EXPECT_FALSE(gui::FileExists(file));
    EXPECT_TRUE(gui::HasPieces(file, kFileSize, kSeed, kPieceSize));
    EXPECT_EQ(gui::FilesIn(folder),
              (std::vector<std::wstring>{L"film.mkv.0.5.plit", L"film.mkv.1.5.plit", L"film.mkv.2.5.plit",
                                         L"film.mkv.3.5.plit", L"film.mkv.4.5.plit", L"film.mkv.plit.sha256"}));
}

TEST_F(MainWindowOnASmallDisk, NoLeavesTheFileAsItWas)
{
    Choose(ids::kSelectSplit, file);
    EnterSize(L"1", L"MB");
    SplitAnswering(IDNO);

    // No message follows, the file stays chosen and whole, nothing is beside it.
    gui::Pause(gui::Milliseconds(500));
    EXPECT_TRUE(gui::MessageBoxes(app.Id()).empty()) << "a message followed the answer No";
    EXPECT_EQ(LabelText(), file);
    EXPECT_EQ(BarPosition(), 0);
    EXPECT_TRUE(gui::HasTestContents(file, kFileSize, kSeed));
    EXPECT_EQ(gui::FilesIn(folder), std::vector<std::wstring>{L"film.mkv"});

    // The job has ended: starting it again asks again, instead of saying that
    // an action is in progress.
    SplitAnswering(IDNO);
    gui::Pause(gui::Milliseconds(500));
    EXPECT_TRUE(gui::HasTestContents(file, kFileSize, kSeed));
    EXPECT_EQ(gui::FilesIn(folder), std::vector<std::wstring>{L"film.mkv"});
}

}  // namespace
