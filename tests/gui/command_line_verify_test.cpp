// Vandrel.exe /verify PIECE, as the installer's "Check pieces" verb starts it:
// the progress window captioned "Check pieces", one message box under that
// caption, an exit code of 0, 1 or 2, and every file as it was.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "checksum_list.h"
#include "vandrel_test.h"

namespace {

const std::wstring kCheck = L"Check pieces";
constexpr int kProgressBarId = 1010;
constexpr std::int64_t kSize = 250'000;
constexpr std::int64_t kPieceSize = 100'000;

std::string Bytes(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CommandLineVerify : public VandrelTest {
protected:
    // The three pieces of "movie.avi" and the list a split writes beside them.
    void WriteSet()
    {
        ASSERT_EQ(gui::WritePieces(original, kSize, 8, kPieceSize), 3);
        ASSERT_TRUE(gui::WriteTestFile(original, kSize, 8));
        SetFacts facts;
        facts.originalLeaf = "movie.avi";
        facts.originalSize = kSize;
        facts.partSize = kPieceSize;
        facts.countText = "3";
        std::string list = FormatListHeader(facts);
        for (int i = 0; i < 3; ++i) {
            const std::wstring piece = gui::PieceName(original, i, 3);
            list += FormatListLine({Sha256Of(Bytes(piece)), "movie.avi." + std::to_string(i) + ".3.plit"});
        }
        list += FormatListLine({Sha256Of(Bytes(original)), "movie.avi"});
        ASSERT_TRUE(DeleteFileW(original.c_str()));
        std::ofstream(std::filesystem::path(original + L".plit.sha256"), std::ios::binary) << list;
    }

    // Starts the check of `arguments`, expects the progress window, the one
    // box with `text` and the exit code, and every file as it was.
    void ExpectCheck(const std::wstring& arguments, const std::wstring& text, DWORD exitCode)
    {
        std::vector<std::string> before;
        for (const std::wstring& name : gui::FilesIn(dir.Path()))
            before.push_back(Bytes(dir / name));
        Start(arguments);
        EXPECT_TRUE(gui::WaitFor([&]() -> HWND {
            for (HWND window : gui::TopLevelWindows(app.Id())) {
                if (gui::CaptionOf(window) == kCheck && gui::HasChild(window, kProgressBarId, L"msctls_progress32"))
                    return window;
            }
            return nullptr;
        })) << "no \"Check pieces\" window with a progress bar";
        ExpectMessage(kCheck, text);
        EXPECT_EQ(app.WaitForExit(), exitCode);
        std::vector<std::string> after;
        for (const std::wstring& name : gui::FilesIn(dir.Path()))
            after.push_back(Bytes(dir / name));
        EXPECT_TRUE(after == before) << "the check changed a file";
    }

    std::wstring original = dir / L"movie.avi";
};

TEST_F(CommandLineVerify, AWholeSetIsRightAndExitsWithZero)
{
    WriteSet();
    ExpectCheck(L"/verify \"" + gui::PieceName(original, 1, 3) + L"\"", L"All 3 pieces of \"movie.avi\" are right.", 0);
}

TEST_F(CommandLineVerify, ADamagedPieceIsNamedAndExitsWithOne)
{
    WriteSet();
    const std::wstring damaged = gui::PieceName(original, 2, 3);
    std::string bytes = Bytes(damaged);
    bytes[10] = static_cast<char>(bytes[10] ^ 1);
    std::ofstream(std::filesystem::path(damaged), std::ios::binary) << bytes;
    ExpectCheck(L"/VERIFY " + gui::PieceName(original, 0, 3),
                L"1 of the 3 pieces of \"movie.avi\" is not right:\nmovie.avi.2.3.plit: damaged", 1);
}

TEST_F(CommandLineVerify, ASetWithoutItsListIsRefusedAndExitsWithTwo)
{
    ASSERT_EQ(gui::WritePieces(original, kSize, 8, kPieceSize), 3);
    ExpectCheck(L"/Verify \"" + gui::PieceName(original, 0, 3) + L"\"",
                L"The pieces cannot be checked: there is no checksum list \"" + original +
                    L".plit.sha256\". Only a split by this version of Vandrel writes one.",
                2);
}

}  // namespace
