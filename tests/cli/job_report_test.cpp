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

}  // namespace
