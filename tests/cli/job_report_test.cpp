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

    // A list made in place has no line for the whole file: no claim on it.
    for (const JobOutcome outcome : {JobOutcome::Succeeded, JobOutcome::Failed}) {
        SetCheck inPlace = joined;
        inPlace.result.outcome = outcome;
        inPlace.pieces[0].verdict = outcome == JobOutcome::Succeeded ? PieceVerdict::InRebuiltFile
                                                                     : PieceVerdict::DamagedInRebuiltFile;
        inPlace.whole = WholeVerdict::NotListed;
        report = FormatVerifyReport("Check pieces: the pieces", inPlace);
        const std::string piece = outcome == JobOutcome::Succeeded ? "d/a.bin.0.1.plit: in the rebuilt file\n"
                                                                   : "d/a.bin.0.1.plit: damaged in the rebuilt file\n";
        EXPECT_EQ(report.output, piece + (outcome == JobOutcome::Succeeded ? "Check pieces: the pieces\n" : ""));
        EXPECT_EQ(report.error, outcome == JobOutcome::Succeeded ? "" : "Check pieces: the pieces\n");
    }

    SetCheck refused;
    refused.result = {JobOutcome::Refused, "d/a.bin.plit.sha256", "there is no checksum list"};
    report = FormatVerifyReport("Check pieces: no list", refused);
    EXPECT_EQ(report.output, "");
    EXPECT_EQ(report.error, "Check pieces: no list\nvandrel: d/a.bin.plit.sha256: there is no checksum list\n");
}

}  // namespace

namespace {

JobResult Ended(JobOutcome outcome, std::string resultPath, std::int32_t pieceCount, bool kept = false,
                std::int32_t piecesHeld = 0, std::string resumeWith = {})
{
    JobResult result;
    result.outcome = outcome;
    result.resultPath = std::move(resultPath);
    result.pieceCount = pieceCount;
    result.kept = kept;
    result.piecesHeld = piecesHeld;
    result.resumeWith = std::move(resumeWith);
    return result;
}

// Where the result is and how many pieces, for each way of asking for the job.
TEST(JobReport, OutcomeLineSaysWhereTheResultIsAndHowManyPieces)
{
    const struct {
        JobResult result;
        JobRequest request;
        const char* line;
    } cases[] = {
        {Ended(JobOutcome::Succeeded, "/mnt/usb/movie.avi.0.10.plit", 10, true),
         {false, "movie.avi", true, "/mnt/usb"},
         "vandrel: 10 pieces in \"/mnt/usb\" (movie.avi kept)\n"},
        {Ended(JobOutcome::Succeeded, "movie.avi.0.10.plit", 10), {false, "movie.avi", false, ""}, "vandrel: 10 pieces in \".\"\n"},
        {Ended(JobOutcome::Succeeded, "/a.bin.0.1.plit", 1), {false, "/a.bin", false, ""}, "vandrel: 1 piece in \"/\"\n"},
        {Ended(JobOutcome::Succeeded, "d/movie.avi", 10, true),
         {true, "movie.avi.3.10.plit", true, "d"},
         "vandrel: \"d/movie.avi\" rebuilt from 10 pieces (pieces kept)\n"},
        {Ended(JobOutcome::Succeeded, "movie.avi", 3), {true, "movie.avi.0.3.plit", false, ""},
         "vandrel: \"movie.avi\" rebuilt from 3 pieces\n"},
        // A job that did not tell where its result is gets no line.
        {Ended(JobOutcome::Succeeded, "", 3), {true, "movie.avi.0.3.plit", false, ""}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatOutcomeLine(c.result, c.request), c.line) << c.result.resultPath;
}

// A stopped join says what the rebuilt file holds and the one command that
// finishes it, repeating --keep and --into, quoted so that it pastes as it is.
TEST(JobReport, StoppedJoinGivesTheCommandThatFinishesIt)
{
    const struct {
        JobResult result;
        JobRequest request;
        const char* line;
    } cases[] = {
        {Ended(JobOutcome::Stopped, "movie.avi", 52, false, 28, "movie.avi.28.52.plit"),
         {true, "movie.avi.0.52.plit", false, ""},
         "vandrel: the join stopped: \"movie.avi\" holds 28 of 52 pieces; run: vandrel join 'movie.avi.28.52.plit'\n"},
        {Ended(JobOutcome::Stopped, "/usb/it's here.avi", 3, true, 1, "it's here.avi.1.3.plit"),
         {true, "it's here.avi.0.3.plit", true, "/usb"},
         "vandrel: the join stopped: \"/usb/it's here.avi\" holds 1 of 3 pieces; run: vandrel join --keep "
         "--into '/usb' 'it'\\''s here.avi.1.3.plit'\n"},
        {Ended(JobOutcome::Stopped, "-x", 4, false, 2, "-x.2.4.plit"),
         {true, "-x.0.4.plit", false, ""},
         "vandrel: the join stopped: \"-x\" holds 2 of 4 pieces; run: vandrel join -- '-x.2.4.plit'\n"},
        // Stopped before its first piece: the piece given finishes it.
        {Ended(JobOutcome::Stopped, "", 4), {true, "a.b.2.4.plit", false, ""},
         "vandrel: the join stopped: no piece is in the rebuilt file yet; run: vandrel join 'a.b.2.4.plit'\n"},
    };
    for (const auto& c : cases) {
        const JobReport report = FormatStoppedReport("File Joiner: stopped", c.result, c.request, Shell::Posix);
        EXPECT_EQ(report.output, "");
        EXPECT_EQ(report.error, c.line);
    }
    // Windows: the command's name there, a path in double quotes.
    EXPECT_EQ(FormatStoppedReport("", Ended(JobOutcome::Stopped, "D:\\it's.avi", 3, true, 1, "E:\\it's.avi.1.3.plit"),
                                  {true, "E:\\it's.avi.0.3.plit", true, "D:\\"}, Shell::Windows)
                  .error,
              "vandrel: the join stopped: \"D:\\it's.avi\" holds 1 of 3 pieces; run: vandrel-cli join --keep --into "
              "\"D:\\\\\" \"E:\\it's.avi.1.3.plit\"\n");
}

TEST(JobReport, StoppedSplitSaysTheFileIsWholeOrGivesTheJobsOwnMessage)
{
    const JobResult result = Ended(JobOutcome::Stopped, "", 0);
    EXPECT_EQ(FormatStoppedReport("", result, {false, "a b.avi", false, ""}).error,
              "vandrel: the split stopped: \"a b.avi\" is whole where it was; the pieces it made are removed\n");
    EXPECT_EQ(FormatStoppedReport("File Splitter: stopped", result, {false, "a b.avi", false, ""}).error,
              "File Splitter: stopped\n");
    JobResult pieceLeft = result;
    pieceLeft.file = "a b.avi.3.9.plit";
    pieceLeft.reason = "Permission denied";
    EXPECT_EQ(FormatStoppedReport("File Splitter: stopped", pieceLeft, {false, "a b.avi", false, ""}).error,
              "File Splitter: stopped\nvandrel: a b.avi.3.9.plit: Permission denied\n");
    EXPECT_EQ(ExitStatus(JobOutcome::Stopped), 1);
}

JobResult InPlace(JobOutcome outcome, std::string resultPath, std::int32_t pieceCount, std::int32_t piecesHeld = 0,
                  std::string resumeWith = {})
{
    JobResult result = Ended(outcome, std::move(resultPath), pieceCount, false, piecesHeld, std::move(resumeWith));
    result.inPlace = true;
    return result;
}

// A split that cut its input in place says so where a split that kept it
// says that.
TEST(JobReport, OutcomeLineOfASplitInPlace)
{
    EXPECT_EQ(FormatOutcomeLine(InPlace(JobOutcome::Succeeded, "d/movie.avi.0.10.plit", 10), {false, "d/movie.avi"}),
              "vandrel: 10 pieces in \"d\" (split in place)\n");
    EXPECT_EQ(FormatOutcomeLine(InPlace(JobOutcome::Succeeded, "a.bin.0.2.plit", 2), {false, "a.bin"}),
              "vandrel: 2 pieces in \".\" (split in place)\n");
}

// A split in place cut short, as the job's message and the outcome left it:
// the engine's message (and the file it names) on standard error, then one
// line with the command that finishes the split, repeating how it was asked
// for, and the one that joins the pieces back, each quoted for the shell.
TEST(JobReport, SplitInPlaceCutShortGivesTheCommandsThatFinishOrUndoIt)
{
    const std::string message = "File Splitter: File splitting was stopped part way: ...";
    const struct {
        const char* name;
        JobResult result;
        JobRequest request;
        Shell shell;
        std::string error;  // after the message
    } rows[] = {
        {"stopped",
         InPlace(JobOutcome::Stopped, "movie.avi", 10, 7, "movie.avi.7.10.plit"),
         {false, "movie.avi", false, "", "700MB"},
         Shell::Posix,
         "vandrel: to finish the split, run: vandrel split --in-place 'movie.avi' 700MB; to get the whole file "
         "back, run: vandrel join 'movie.avi.7.10.plit'\n"},
        {"a size with a blank, no list, a quote in the name",
         InPlace(JobOutcome::Stopped, "d/it's.bin", 4, 1, "d/it's.bin.1.4.plit"),
         {false, "d/it's.bin", false, "", "2.75 KB", true},
         Shell::Posix,
         "vandrel: to finish the split, run: vandrel split --in-place --no-list 'd/it'\\''s.bin' '2.75 KB'; to get "
         "the whole file back, run: vandrel join 'd/it'\\''s.bin.1.4.plit'\n"},
        {"a name that starts with a dash",
         InPlace(JobOutcome::Stopped, "-x", 3, 2, "-x.2.3.plit"),
         {false, "-x", false, "", "1KB"},
         Shell::Posix,
         "vandrel: to finish the split, run: vandrel split --in-place -- '-x' 1KB; to get the whole file back, "
         "run: vandrel join -- '-x.2.3.plit'\n"},
        {"stopped before its first piece: nothing to join",
         InPlace(JobOutcome::Stopped, "a.bin", 3, 3),
         {false, "a.bin", false, "", "3334B"},
         Shell::Posix,
         "vandrel: to finish the split, run: vandrel split --in-place 'a.bin' 3334B\n"},
        {"Windows",
         InPlace(JobOutcome::Stopped, "D:\\it's.avi", 3, 1, "D:\\it's.avi.1.3.plit"),
         {false, "D:\\it's.avi", false, "", "1.5GB"},
         Shell::Windows,
         "vandrel: to finish the split, run: vandrel-cli split --in-place \"D:\\it's.avi\" 1.5GB; to get the "
         "whole file back, run: vandrel-cli join \"D:\\it's.avi.1.3.plit\"\n"},
    };
    for (const auto& row : rows) {
        const JobReport report = FormatStoppedReport(message, row.result, row.request, row.shell);
        EXPECT_EQ(report.output, "") << row.name;
        EXPECT_EQ(report.error, message + "\n" + row.error) << row.name;
        EXPECT_EQ(FormatInPlaceWaysOut(row.result, row.request, row.shell), row.error) << row.name;
    }

    // A failure: the job's message and the file and reason, then the same line.
    JobResult failed = InPlace(JobOutcome::Failed, "movie.avi", 10, 7, "movie.avi.7.10.plit");
    failed.file = "movie.avi.6.10.plit";
    failed.reason = "No space left on device";
    const JobRequest request{false, "movie.avi", false, "", "700MB"};
    const JobReport report = FormatJobReport("File Splitter: failed", failed, kKept);
    EXPECT_EQ(report.error + FormatInPlaceWaysOut(failed, request, Shell::Posix),
              "File Splitter: failed\nvandrel: movie.avi.6.10.plit: No space left on device\n"
              "vandrel: to finish the split, run: vandrel split --in-place 'movie.avi' 700MB; to get the whole "
              "file back, run: vandrel join 'movie.avi.7.10.plit'\n");

    // Every other ending has no such line: a success, a refusal, a split
    // that did not go in place, a join.
    EXPECT_EQ(FormatInPlaceWaysOut(InPlace(JobOutcome::Succeeded, "movie.avi.0.10.plit", 10), request), "");
    EXPECT_EQ(FormatInPlaceWaysOut(InPlace(JobOutcome::Refused, "movie.avi", 10), request), "");
    EXPECT_EQ(FormatInPlaceWaysOut(Ended(JobOutcome::Failed, "movie.avi", 10, false, 7, "x"), request), "");
    const JobRequest join{true, "movie.avi.0.10.plit"};
    EXPECT_EQ(FormatInPlaceWaysOut(InPlace(JobOutcome::Stopped, "movie.avi", 10, 7, "x"), join), "");
    // Without the job's message, the stop still says what FILE holds.
    EXPECT_EQ(FormatStoppedReport("", InPlace(JobOutcome::Stopped, "a.bin", 3, 2, "a.bin.2.3.plit"),
                                  {false, "a.bin", false, "", "1KB"}, Shell::Posix)
                  .error,
              "vandrel: the split stopped: \"a.bin\" holds the first 2 of its 3 pieces, and the others are beside "
              "it\nvandrel: to finish the split, run: vandrel split --in-place 'a.bin' 1KB; to get the whole file "
              "back, run: vandrel join 'a.bin.2.3.plit'\n");
}

}  // namespace
