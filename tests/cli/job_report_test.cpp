// What the command prints and returns for each way a job can end.

#include <gtest/gtest.h>

#include "job_report.h"

namespace {

const std::string kKept = "is still there";

TEST(JobReport, OutcomesGoToTheirStreamsWithTheirStatus)
{
    const JobReport done = FormatJobReport("File Splitter: done", {JobOutcome::Succeeded, "", ""}, kKept);
    EXPECT_EQ(done.output, "File Splitter: done\n");
    EXPECT_EQ(done.error, "");
    EXPECT_EQ(ExitStatus(JobOutcome::Succeeded), 0);

    const JobReport failed =
        FormatJobReport("File Splitter: failed", {JobOutcome::Failed, "a.bin.3.10.plit", "No space left on device"}, kKept);
    EXPECT_EQ(failed.output, "");
    EXPECT_EQ(failed.error, "File Splitter: failed\nvandrel: a.bin.3.10.plit: No space left on device\n");
    EXPECT_EQ(ExitStatus(JobOutcome::Failed), 1);

    const JobReport refused = FormatJobReport("File Joiner: no", {JobOutcome::Refused, "", ""}, kKept);
    EXPECT_EQ(refused.output, "");
    EXPECT_EQ(refused.error, "File Joiner: no\n");
    EXPECT_EQ(ExitStatus(JobOutcome::Refused), 2);
}

// A success that left a file behind is still a success, with a warning that
// says which file and why.
TEST(JobReport, FileLeftBehindAfterASuccessIsAWarning)
{
    const JobReport report =
        FormatJobReport("File Splitter: done", {JobOutcome::Succeeded, "a.bin", "Permission denied"}, kKept);
    EXPECT_EQ(report.output, "File Splitter: done\n");
    EXPECT_EQ(report.error, "vandrel: warning: a.bin is still there: Permission denied\n");

    const JobReport noReason = FormatJobReport("X: y", {JobOutcome::Failed, "a.bin", ""}, kKept);
    EXPECT_EQ(noReason.error, "X: y\nvandrel: a.bin\n");
}

// A join's notes on standard error: every missing piece when more than one
// is, and a set joined without a list to check it against.
TEST(JobReport, JoinNamesEveryMissingPieceAndSaysWhenThePiecesWereNotChecked)
{
    const std::string list = "d/a.bin.plit.sha256";
    const std::string unchecked = "vandrel: the pieces could not be checked: there is no checksum list \"" + list + "\"\n";
    const struct {
        const char* name;
        JobResult result;
        std::string listPath;
        std::string output;
        std::string error;
    } rows[] = {
        {"checked success", {JobOutcome::Succeeded, "", "", true, {}}, list, "J: ok\n", ""},
        {"unchecked success", {JobOutcome::Succeeded, "", "", false, {}}, list, "J: ok\n", unchecked},
        {"unchecked failure", {JobOutcome::Failed, "f", "EIO", false, {}}, list, "",
         "J: ok\nvandrel: f: EIO\n" + unchecked},
        {"a refusal looked at no piece", {JobOutcome::Refused, "", "", false, {}}, list, "", "J: ok\n"},
        {"a split has no list to name", {JobOutcome::Succeeded, "", "", false, {}}, "", "J: ok\n", ""},
        {"one missing piece: the message names it", {JobOutcome::Refused, "", "", false, {"a.bin.1.3.plit"}}, list, "",
         "J: ok\n"},
        {"every missing piece", {JobOutcome::Refused, "", "", false, {"a.bin.0.3.plit", "a.bin.2.3.plit"}}, list, "",
         "J: ok\nvandrel: missing: a.bin.0.3.plit\nvandrel: missing: a.bin.2.3.plit\n"},
    };
    for (const auto& row : rows) {
        const JobReport report = FormatJobReport("J: ok", row.result, kKept, row.listPath);
        EXPECT_EQ(report.output, row.output) << row.name;
        EXPECT_EQ(report.error, row.error) << row.name;
    }
}

// `vandrel verify`: a line per piece on standard output, then the summary;
// its status agrees with the window's exit code.
TEST(JobReport, VerifyPrintsALinePerPieceThenTheSummary)
{
    const std::string message = "Check pieces: 2 of the 3 pieces of \"a.bin\" are not right:\na.bin.1.3.plit: damaged";
    SetCheck wrong;
    wrong.result.outcome = JobOutcome::Failed;
    wrong.originalPath = "d/a.bin";
    wrong.pieces = {{"d/a.bin.0.3.plit", PieceVerdict::InRebuiltFile, ""},
                    {"d/a.bin.1.3.plit", PieceVerdict::Unreadable, "Input/output error"},
                    {"d/a.bin.2.3.plit", PieceVerdict::Missing, ""}};
    JobReport report = FormatVerifyReport(message, wrong);
    EXPECT_EQ(report.output, "d/a.bin.0.3.plit: in the rebuilt file\n"
                             "d/a.bin.1.3.plit: could not be read: Input/output error\n"
                             "d/a.bin.2.3.plit: missing\n");
    EXPECT_EQ(report.error, "Check pieces: 2 of the 3 pieces of \"a.bin\" are not right:\n");

    SetCheck joined = wrong;
    joined.result.outcome = JobOutcome::Succeeded;
    joined.pieces = {{"d/a.bin.0.1.plit", PieceVerdict::InRebuiltFile, ""}};
    joined.whole = WholeVerdict::Right;
    report = FormatVerifyReport("Check pieces: fine", joined);
    EXPECT_EQ(report.output, "d/a.bin.0.1.plit: in the rebuilt file\nd/a.bin: ok\nCheck pieces: fine\n");
    EXPECT_EQ(report.error, "");

    SetCheck refused;
    refused.result = {JobOutcome::Refused, "d/a.bin.plit.sha256", "there is no checksum list"};
    report = FormatVerifyReport("Check pieces: no list", refused);
    EXPECT_EQ(report.output, "");
    EXPECT_EQ(report.error, "Check pieces: no list\nvandrel: d/a.bin.plit.sha256: there is no checksum list\n");
}

}  // namespace
