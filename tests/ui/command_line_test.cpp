// The command line of a join or a check started from the shell: what follows
// the program name, and the job and piece path taken from it.

#include <gtest/gtest.h>

#include "command_line.h"
#include "framework/win_app.h"

TEST(CommandLineAfterProgramName, SkipsAQuotedProgramNameWithBlanksAndTheBlanksAfterIt)
{
    EXPECT_EQ(CommandLineAfterProgramName(LR"("C:\Program Files\Vandrel.exe"   "C:\d\a.0.2.plit")"),
              LR"("C:\d\a.0.2.plit")");
}

TEST(CommandLineAfterProgramName, SkipsAnUnquotedProgramNameAndKeepsTheRestVerbatim)
{
    EXPECT_EQ(CommandLineAfterProgramName(L"Vandrel.exe\tC:\\d\\a.0.2.plit  "), L"C:\\d\\a.0.2.plit  ");
    EXPECT_EQ(CommandLineAfterProgramName(L"Vandrel.exe"), L"");
    EXPECT_EQ(CommandLineAfterProgramName(L""), L"");
}

TEST(PiecePathFromCommandLine, RemovesTheShellsQuotesAndTheWhiteSpaceAroundThePath)
{
    EXPECT_EQ(PiecePathFromCommandLine(LR"("C:\dir\movie.avi.0.3.plit")"), LR"(C:\dir\movie.avi.0.3.plit)");
    EXPECT_EQ(PiecePathFromCommandLine(L"  \"C:\\dir\\my movie.avi.0.3.plit\" \r\n"),
              L"C:\\dir\\my movie.avi.0.3.plit");
    EXPECT_EQ(PiecePathFromCommandLine(L"\" C:\\dir\\a.0.2.plit\t\""), L"C:\\dir\\a.0.2.plit");
}

TEST(PiecePathFromCommandLine, TakesAnUnquotedPathWhole)
{
    EXPECT_EQ(PiecePathFromCommandLine(LR"(C:\dir\a.0.2.plit)"), LR"(C:\dir\a.0.2.plit)");
    EXPECT_EQ(PiecePathFromCommandLine(L" C:\\dir\\a.0.2.plit  "), L"C:\\dir\\a.0.2.plit");
    // A quote at one end only is part of the path as typed.
    EXPECT_EQ(PiecePathFromCommandLine(LR"("C:\dir\a.0.2.plit)"), LR"("C:\dir\a.0.2.plit)");
}

TEST(PiecePathFromCommandLine, SeveralArgumentsMakeOnePath)
{
    EXPECT_EQ(PiecePathFromCommandLine(LR"("C:\a.0.2.plit" "C:\b.0.2.plit")"), LR"(C:\a.0.2.plit" "C:\b.0.2.plit)");
}

TEST(PiecePathFromCommandLine, ShortAndEmptyTexts)
{
    EXPECT_EQ(PiecePathFromCommandLine(L"\"\""), L"");
    EXPECT_EQ(PiecePathFromCommandLine(L"\""), L"\"");
    EXPECT_EQ(PiecePathFromCommandLine(L"   "), L"");
    EXPECT_EQ(PiecePathFromCommandLine(L"x"), L"x");
}

// "/verify", in any case, then a blank: the check of the piece that follows,
// quoted or not; every other command line is a join's, read as before.
TEST(RequestFromCommandLine, VerifyAndABlankAskForTheCheckEverythingElseForAJoin)
{
    using J = CommandLineJob;
    const struct {
        const wchar_t* text;
        CommandLineJob job;
        const wchar_t* path;
    } rows[] = {
        {LR"(/verify "C:\d\my movie.avi.0.3.plit")", J::Verify, LR"(C:\d\my movie.avi.0.3.plit)"},
        {LR"(/VERIFY C:\d\a.0.2.plit)", J::Verify, LR"(C:\d\a.0.2.plit)"},
        {LR"(/Verify   "C:\d\a.0.2.plit"  )", J::Verify, LR"(C:\d\a.0.2.plit)"},
        {LR"(/verify C:\d\a b.avi.plit.sha256)", J::Verify, LR"(C:\d\a b.avi.plit.sha256)"},
        {L"/verify ", J::Verify, L""},
        {LR"(/verifyX C:\d\a.0.2.plit)", J::Join, LR"(/verifyX C:\d\a.0.2.plit)"},
        {L"/verify", J::Join, L"/verify"},
        {LR"(/verify"C:\d\a.0.2.plit")", J::Join, LR"(/verify"C:\d\a.0.2.plit")"},
        {LR"( /verify C:\d\a.0.2.plit)", J::Join, LR"(/verify C:\d\a.0.2.plit)"},
        {LR"("/verify C:\d\a.0.2.plit")", J::Join, LR"(/verify C:\d\a.0.2.plit)"},
        {LR"("C:\d\a.0.2.plit")", J::Join, LR"(C:\d\a.0.2.plit)"},
        {L"/verification.0.2.plit", J::Join, L"/verification.0.2.plit"},
    };
    for (const auto& row : rows) {
        const CommandLineRequest request = RequestFromCommandLine(row.text);
        EXPECT_EQ(request.job, row.job) << row.text;
        EXPECT_EQ(request.path, row.path) << row.text;
    }
}
