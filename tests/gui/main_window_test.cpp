// The main window used as a user uses it: choosing files through the real
// chooser, splitting, joining, and the inputs that a job refuses.

#include <vector>

#include <shlobj.h>

#include "main_window.h"
#include "size_units.h"

namespace {

using MainWindow = MainWindowTest;

TEST_F(MainWindow, OpensWithNoFileMegabytesAnEmptySizeAndAnEmptyBar)
{
    EXPECT_EQ(gui::ClassOf(Label()), L"Static");
    EXPECT_EQ(LabelText(), kNoFile);
    EXPECT_TRUE(LabelPaintedIn(kRed, kGreen)) << "\"No file has been selected !\" must be red";
    EXPECT_EQ(gui::TextOf(gui::Child(window, ids::kUnitList)), L"MB");
    EXPECT_EQ(gui::TextOf(gui::Child(window, ids::kSizeEdit)), L"");
    EXPECT_EQ(gui::ClassOf(gui::Child(window, ids::kProgressBar)), L"msctls_progress32");
    EXPECT_EQ(BarPosition(), 0);
}

// The list comes from the dialog's resources, the factors from the engine's
// table: the two must name the same units in the same order.
TEST_F(MainWindow, UnitListOffersTheUnitsOfTheSizeTableInOrder)
{
    std::vector<std::wstring> units;
    for (const SizeUnit& unit : kSizeUnits)
        units.emplace_back(unit.name.begin(), unit.name.end());
    EXPECT_EQ(gui::ComboItems(window, ids::kUnitList), units);
    EXPECT_EQ(gui::TextOf(gui::Child(window, ids::kUnitList)), units[kDefaultSizeUnitIndex]);
}

// The label runs from beside "Current file : " to the right margin, as far
// from the window's right edge as the frames are from its left, and shows the
// start text whole.
TEST_F(MainWindow, CurrentFileLabelReachesTheRightMarginAndShowsTheStartTextWhole)
{
    RECT client{};
    GetClientRect(window, &client);
    HWND frame = gui::ChildWithText(window, L"Button", kSplitter);
    ASSERT_TRUE(frame) << "no \"File Splitter\" frame";
    const int margin = gui::RectInParent(frame, window).left;
    const RECT label = gui::RectInParent(Label(), window);
    EXPECT_EQ(label.left, 80);
    EXPECT_EQ(label.top, 10);
    EXPECT_EQ(label.bottom, 30);
    EXPECT_GT(margin, 0);
    EXPECT_EQ(label.right, client.right - margin);

    EXPECT_EQ(ExpectLabelDraws(kNoFile, kRed), kNoFile);
}

// A path wider than the label keeps its drive and its file's name in sight;
// folders from its middle give way to an ellipsis. The label's text stays the
// whole path.
TEST_F(MainWindow, ALongChosenPathShowsItsFileNameWithAnEllipsisInItsMiddle)
{
    const std::wstring videos = dir / L"Vidéos de famille tournées pendant les longues vacances au bord de la mer";
    const std::wstring summer = videos + L"\\Été 2026";
    const std::wstring file = summer + L"\\film été.avi";
    ASSERT_TRUE(CreateDirectoryW(videos.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(summer.c_str(), nullptr));
    ASSERT_TRUE(gui::WriteTestFile(file, 1'000, 16));

    Choose(ids::kSelectSplit, file);
    EXPECT_EQ(WaitForLabel(file), file);
    const std::wstring drawn = ExpectLabelDraws(file, kGreen);
    const std::wstring name = L"\\film été.avi";
    ASSERT_GT(drawn.size(), name.size());
    EXPECT_EQ(drawn.substr(drawn.size() - name.size()), name);
    EXPECT_EQ(drawn.substr(0, 3), file.substr(0, 3));
    const std::size_t ellipsis = drawn.find(L"...");
    EXPECT_NE(ellipsis, std::wstring::npos);
    EXPECT_LT(ellipsis, drawn.size() - name.size());
    EXPECT_TRUE(LabelPaintedIn(kGreen, kRed));
}

TEST_F(MainWindow, ClosingItWhileIdleEndsTheProgram)
{
    gui::PressCloseBox(window);
    EXPECT_TRUE(app.WaitForExit());
}

TEST_F(MainWindow, SplitInto300BytePiecesRemovesTheFileAndResetsTheWindow)
{
    const std::wstring file = dir / L"report.pdf";
    ASSERT_TRUE(gui::WriteTestFile(file, 1'000, 11));

    gui::ClickButton(window, ids::kSelectSplit);
    HWND chooser = gui::WaitForChooser(app.Id());
    ASSERT_TRUE(chooser);
    EXPECT_EQ(gui::OpenButtonText(chooser), L"Select");
    ASSERT_TRUE(gui::ChooseFile(chooser, file));
    EXPECT_EQ(WaitForLabel(file), file);
    EXPECT_TRUE(LabelPaintedIn(kGreen, kRed)) << "a chosen path must be green";

    EnterSize(L"300", L"B");
    gui::ClickButton(window, ids::kStartSplit);
    const auto box = gui::WaitForMessageBox(app.Id());
    ASSERT_TRUE(box);
    EXPECT_TRUE(gui::WaitFor([&] { return BarPosition() == 100; })) << "the bar must be full when the split reports";
    ExpectMessage(kSplitter, kSplit);

    EXPECT_EQ(WaitForLabel(kNoFile), kNoFile);
    EXPECT_TRUE(LabelPaintedIn(kRed, kGreen));
    EXPECT_TRUE(gui::WaitFor([&] { return BarPosition() == 0; }));
    EXPECT_TRUE(gui::HasPieces(file, 1'000, 11, 300));
    EXPECT_EQ(gui::FilesIn(dir.Path()),
              (std::vector<std::wstring>{L"report.pdf.0.4.plit", L"report.pdf.1.4.plit", L"report.pdf.2.4.plit",
                                         L"report.pdf.3.4.plit", L"report.pdf.plit.sha256"}));
}

TEST_F(MainWindow, JoinThroughThePieceButtonRebuildsTheFile)
{
    const std::wstring original = dir / L"photos.tar";
    ASSERT_EQ(gui::WritePieces(original, 70'000, 12, 20'000), 4);

    gui::ClickButton(window, ids::kSelectJoin);
    HWND chooser = gui::WaitForChooser(app.Id());
    ASSERT_TRUE(chooser);
    EXPECT_EQ(gui::OpenButtonText(chooser), L"Select");
    ASSERT_TRUE(gui::ChooseFile(chooser, gui::PieceName(original, 2, 4)));
    EXPECT_EQ(WaitForLabel(gui::PieceName(original, 2, 4)), gui::PieceName(original, 2, 4));

    gui::ClickButton(window, ids::kStartJoin);
    ExpectMessage(kJoiner, kJoined);

    EXPECT_EQ(WaitForLabel(kNoFile), kNoFile);
    EXPECT_TRUE(gui::HasTestContents(original, 70'000, 12));
    EXPECT_EQ(gui::FilesIn(dir.Path()), std::vector<std::wstring>{L"photos.tar"});
    EXPECT_TRUE(app.IsRunning()) << "a join from the main window must not end the program";
}

// The first opening shows the user's Documents, so a bare name typed there is
// a file of Documents; the next one goes on where the user was.
TEST_F(MainWindow, TheChooserFirstOpensInDocumentsThenWhereTheLastChoiceWas)
{
    PWSTR path = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path)));
    const std::wstring documents = path;
    CoTaskMemFree(path);
    const std::wstring leaf = L"vandrel-gui-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    const std::wstring inDocuments = documents + L"\\" + leaf;
    ASSERT_TRUE(gui::WriteTestFile(inDocuments, 100, 17));
    struct Remove {
        std::wstring path;
        ~Remove() { DeleteFileW(path.c_str()); }
    } removeAtEnd{inDocuments};
    const std::wstring inTestFolder = dir / leaf;
    ASSERT_TRUE(gui::WriteTestFile(inTestFolder, 100, 18));

    Choose(ids::kSelectSplit, leaf);
    EXPECT_EQ(WaitForLabel(inDocuments), inDocuments);
    Choose(ids::kSelectSplit, inTestFolder);
    ASSERT_EQ(WaitForLabel(inTestFolder), inTestFolder);
    Choose(ids::kSelectSplit, leaf);
    gui::Pause(gui::Milliseconds(200));
    EXPECT_EQ(LabelText(), inTestFolder);
}

TEST_F(MainWindow, CancellingTheChooserKeepsTheEarlierChoice)
{
    const std::wstring file = dir / L"notes.txt";
    ASSERT_TRUE(gui::WriteTestFile(file, 100, 13));
    Choose(ids::kSelectSplit, file);
    ASSERT_EQ(WaitForLabel(file), file);

    gui::ClickButton(window, ids::kSelectJoin);
    HWND chooser = gui::WaitForChooser(app.Id());
    ASSERT_TRUE(chooser);
    ASSERT_TRUE(gui::CancelChooser(chooser));
    ExpectMessage(L"Vandrel", L"No File Selected!");

    EXPECT_EQ(LabelText(), file);
    EXPECT_TRUE(LabelPaintedIn(kGreen, kRed));
}

TEST_F(MainWindow, BadSplitInputsEachGetTheirMessageAndWriteNothing)
{
    const std::wstring file = dir / L"data.bin";
    ASSERT_TRUE(gui::WriteTestFile(file, 1'000, 14));
    const auto untouched = [&] {
        return gui::HasTestContents(file, 1'000, 14) && gui::FilesIn(dir.Path()).size() == 1;
    };

    // No file chosen: the job gets the two blanks of "no selection".
    EnterSize(L"300", L"B");
    gui::ClickButton(window, ids::kStartSplit);
    ExpectJobMessage(kSplitter, L"Please select a file to split!");
    EXPECT_EQ(LabelText(), kNoFile);

    Choose(ids::kSelectSplit, file);
    ASSERT_EQ(WaitForLabel(file), file);

    const auto expectRefused = [&](const std::wstring& number, const std::wstring& unit, const std::wstring& message) {
        SCOPED_TRACE(L"size \"" + number + L"\" " + unit);
        EnterSize(number, unit);
        gui::ClickButton(window, ids::kStartSplit);
        ExpectJobMessage(kSplitter, message);
        EXPECT_TRUE(untouched());
    };
    const std::wstring invalid = L"The size you entered, for file parts after split, is invalid ";
    expectRefused(L"", L"MB", invalid);
    expectRefused(L"1000", L"B",
                  L"The size you entered, for file parts after split, is invalid: part size must be less than file size ");
    // A product beyond 64 bits must not wrap round to some usable size.
    expectRefused(L"9999999999999", L"GB", invalid);

    // A job stopped by its checks leaves the selection as it was.
    EXPECT_EQ(LabelText(), file);
    EXPECT_EQ(BarPosition(), 0);
}

}  // namespace
