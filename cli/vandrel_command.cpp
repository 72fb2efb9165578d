#include "vandrel_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "checksum_list.h"
#include "console.h"
#include "console_job_sink.h"
#include "file_system.h"
#include "job_report.h"
#include "job_state.h"
#include "join_job.h"
#include "part_size.h"
#include "path_text.h"
#include "piece_count.h"
#include "shell_quote.h"
#include "split_job.h"
#include "stop_signals.h"
#include "verify_set.h"
#include "vandrel_version.h"

namespace {

struct Arguments {
    std::string splitPath;
    std::string sizeText;
    bool sizeGiven = false;
    std::int64_t pieceCount = 0;  // --pieces N, when piecesGiven
    bool piecesGiven = false;
    std::string joinPath;
    std::string verifyPath;
    bool noList = false;
    bool quiet = false;
    bool keep = false;
    std::string intoFolder;
    bool inPlace = false;
    bool noInPlace = false;
};

// Runs `job` with a console sink in place of the message boxes, prints what
// `report` makes of the job's message and result, and returns its exit status.
template <typename Job, typename Report>
int RunOnConsole(bool quiet, Job job, Report report)
{
    ConsoleJobSink sink(!quiet && IsTerminal(OutputStream::Error));
    setNotificationSink(&sink);
    const auto result = job();
    setNotificationSink(nullptr);
    const auto [printed, outcome] = report(sink.message(), result);
    WriteText(OutputStream::Output, printed.output);
    WriteText(OutputStream::Error, printed.error);
    return ExitStatus(outcome);
}

// Runs a split or a join, which a signal asks to stop. `whatWasKept` tells of
// a file that a successful job could not delete; `listPath`: the set's
// checksum list, for a join. A stopped job answers with the signal's own
// status; one that completed although a signal came, after its last chunk,
// answers as it ended.
int RunJob(JobResult (*job)(std::string), const JobRequest& request, bool quiet, const std::string& whatWasKept,
           const std::string& listPath = {})
{
    bool stopped = false;
    const int status = RunOnConsole(
        quiet,
        [&] {
            const StopSignalScope signals;
            return job(request.input);
        },
        [&](const std::string& message, const JobResult& result) {
            stopped = result.outcome == JobOutcome::Stopped;
            if (stopped)
                return std::pair{FormatStoppedReport(message, result, request), result.outcome};
            JobReport report = FormatJobReport(message, result, whatWasKept, listPath);
            if (result.outcome == JobOutcome::Succeeded)
                report.output += FormatOutcomeLine(result, request);
            report.error += FormatInPlaceWaysOut(result, request);
            return std::pair{report, result.outcome};
        });
    return stopped && StopRequestStatus() != 0 ? StopRequestStatus() : status;
}

// Refuses the job before it starts: `what` on standard error, the status of a refusal.
int RefuseArguments(const char* command, const std::string& what)
{
    WriteText(OutputStream::Error, std::string("vandrel ") + command + ": " + what + "\n");
    return kExitRefused;
}

// Empty when --into is not given or names an existing folder; else why not.
std::string IntoFolderProblem(const std::string& folder)
{
    if (folder.empty())
        return {};
    std::error_code error;
    const auto status = std::filesystem::status(PathOfUtf8(folder), error);
    if (std::filesystem::is_directory(status))
        return {};
    const std::string reason = error ? error.message() : "it is not a folder";
    return "--into \"" + folder + "\": " + reason + "; give an existing folder";
}

// Empty when the split's options go together; else why they do not. A split
// in place cuts FILE down beside it as it makes the pieces.
std::string InPlaceOptionsProblem(const Arguments& arguments)
{
    if (arguments.inPlace && arguments.noInPlace)
        return "give --in-place or --no-in-place, not both";
    if (arguments.inPlace && arguments.keep)
        return "--in-place cannot go with --keep: a split in place cuts FILE down as it makes the pieces";
    if (arguments.inPlace && !arguments.intoFolder.empty())
        return "--in-place cannot go with --into: a split in place makes the pieces beside FILE, from FILE itself";
    return {};
}

InPlaceChoice RequestedInPlace(const Arguments& arguments)
{
    if (arguments.inPlace)
        return InPlaceChoice::Always;
    return arguments.noInPlace ? InPlaceChoice::Never : InPlaceChoice::WhenShort;
}

// The part size as a SIZE argument asks for it again: as given, or in bytes
// for --pieces, whose count a shortened FILE would no longer give.
std::string PartSizeText(const Arguments& arguments, std::int64_t bytes)
{
    return arguments.sizeGiven ? arguments.sizeText : std::to_string(bytes) + "B";
}

// The piece size SIZE or --pieces asks for, or why it is refused.
PartSize RequestedPartSize(const Arguments& arguments)
{
    if (arguments.sizeGiven == arguments.piecesGiven)
        return {0, arguments.piecesGiven ? "give SIZE or --pieces N, not both" : "give SIZE or --pieces N"};
    if (!arguments.piecesGiven)
        return ParsePartSize(arguments.sizeText);
    // The job opens the file again and checks what it finds.
    const auto file = fileSystem().openForReading(arguments.splitPath);
    if (!file)
        return {0, "\"" + arguments.splitPath + "\" cannot be read: " + fileSystem().lastError()};
    return PartSizeForPieceCount(file->size(), arguments.pieceCount);
}

int RunSplit(const Arguments& arguments)
{
    if (const std::string problem = InPlaceOptionsProblem(arguments); !problem.empty())
        return RefuseArguments("split", problem);
    if (const std::string problem = IntoFolderProblem(arguments.intoFolder); !problem.empty())
        return RefuseArguments("split", problem);
    const PartSize size = RequestedPartSize(arguments);
    if (!size.error.empty())
        return RefuseArguments("split", size.error);
    jobState.splitPath = arguments.splitPath;
    jobState.partSize = size.bytes;
    jobState.writeList = !arguments.noList;
    jobState.keep = arguments.keep;
    jobState.intoFolder = arguments.intoFolder;
    jobState.inPlace = RequestedInPlace(arguments);
    JobRequest request;
    request.input = arguments.splitPath;
    request.keep = arguments.keep;
    request.intoFolder = arguments.intoFolder;
    request.partSizeText = PartSizeText(arguments, size.bytes);
    request.noList = arguments.noList;
    return RunJob(SplitFile, request, arguments.quiet, "is still there beside its pieces and could not be deleted");
}

int RunJoin(const Arguments& arguments)
{
    if (const std::string problem = IntoFolderProblem(arguments.intoFolder); !problem.empty())
        return RefuseArguments("join", problem);
    jobState.joinPath = arguments.joinPath;
    jobState.keep = arguments.keep;
    jobState.intoFolder = arguments.intoFolder;
    const std::optional<PieceSet> set = ParsePieceName(arguments.joinPath);
    JobRequest request;
    request.join = true;
    request.input = arguments.joinPath;
    request.keep = arguments.keep;
    request.intoFolder = arguments.intoFolder;
    return RunJob(JoinFiles, request, arguments.quiet,
                  "is still there, though the rebuilt file holds its bytes, and could not be deleted",
                  set ? ChecksumListPath(set->originalPath) : std::string{});
}

int RunVerify(const Arguments& arguments)
{
    return RunOnConsole(
        arguments.quiet, [&] { return VerifySet(arguments.verifyPath); },
        [](const std::string& message, const SetCheck& check) {
            return std::pair{FormatVerifyReport(message, check), check.result.outcome};
        });
}

// "cd, fat32, ...": the names of the named sizes.
std::string NamedSizeList()
{
    std::string names;
    for (const NamedSize& size : NamedSizes())
        names += (names.empty() ? "" : ", ") + std::string(size.name);
    return names;
}

// The examples, the named sizes, how a stopped job is finished, and the exit statuses.
std::string HelpFooter()
{
    std::string footer = "Named sizes (the largest piece that fits):\n";
    for (const NamedSize& size : NamedSizes())
        footer += "  " + std::string(size.name) + std::string(8 - size.name.size(), ' ') +
                  std::to_string(size.bytes) + " bytes, " + std::string(size.what) + "\n";
    return footer +
           "\nExamples:\n  vandrel split movie.avi 700MB\n  vandrel split backup.img fat32\n"
           "  vandrel split --pieces 3 --into /media/usb movie.avi\n"
           "  vandrel split --in-place disk.img 1GB\n"
           "  vandrel join movie.avi.0.3.plit\n  vandrel join --keep movie.avi.0.3.plit\n"
           "  vandrel verify movie.avi.plit.sha256\n"
           "  vandrel split -- -x 5    (-- ends the options)\n\n"
           "Ctrl-C (or SIGTERM, SIGHUP; Ctrl-Break on Windows) stops a split or a join at its next safe point; "
           "a second one ends the program at once, which is safe too. A stopped split leaves FILE whole where "
           "it was. A stopped join prints the command that finishes it, a join of its next piece, e.g. " +
           std::string(CommandName()) + " join " + ShellQuoted("movie.avi.28.52.plit") +
           "; after a kill, join any remaining piece.\n\n"
           "A split in place that fails or is stopped leaves FILE holding its first pieces and the others "
           "beside it, no byte lost; it prints the two commands that end that state: the split started again "
           "with the same part size finishes it, a join of the first piece beside FILE gives the whole file "
           "back; after a kill or a power cut, either of them works too.\n\n"
           "Exit status: 0 done (verify: every piece right); 1 any failure: a copy failed, standard output "
           "could not be written, or verify found a piece not right; 2 refused (verify: no checksum list) "
           "or wrong arguments; 128 + the signal when stopped (130 SIGINT or Ctrl-C, 143 SIGTERM, 129 SIGHUP, "
           "149 Ctrl-Break).";
}

// Parses the arguments and runs the job they ask for; returns the exit status.
int ParseAndRun(int argc, char** argv)
{
    CLI::App app{"Cuts a file into numbered pieces and puts the pieces back together.", "vandrel"};
    app.set_version_flag("--version", "vandrel " VANDREL_VERSION);
    // Paths may start with a slash on every system, Windows included.
    app.allow_windows_style_options(false);
    app.require_subcommand(1);
    app.fallthrough();

    Arguments arguments;
    app.add_flag("-q,--quiet", arguments.quiet, "Draw no progress bar");

    CLI::App* split = app.add_subcommand(
        "split", "Cut FILE into pieces of SIZE bytes, named FILE.<index>.<count>.plit, next to it. "
                 "FILE is deleted once every piece has been written.");
    split->add_option("FILE", arguments.splitPath, "The file to cut")->required();
    split->add_option_function<std::string>(
        "SIZE",
        [&arguments](const std::string& text) {
            arguments.sizeText = text;
            arguments.sizeGiven = true;
        },
        "Size of each piece: a number with an optional unit B, KB, MB or GB "
        "(1 KB = 1024 bytes; 1.5GB, a fraction of a byte dropped), MB when none is given; "
        "or a named size: " + NamedSizeList() + " (vandrel --help tells their bytes)");
    split
        ->add_option_function<std::int64_t>(
            "--pieces",
            [&arguments](const std::int64_t& count) {
                arguments.pieceCount = count;
                arguments.piecesGiven = true;
            },
            "Cut FILE into N pieces of one size instead (the size is FILE's length / N, rounded up)")
        ->option_text("N");
    split->add_flag("--no-list", arguments.noList,
                    "Write no checksum list (FILE.plit.sha256) beside the pieces, e.g. when a script "
                    "only moves the files on one disk");
    split->add_flag("--in-place", arguments.inPlace,
                    "Cut FILE in place, from its end: each piece is made and committed before FILE is cut "
                    "down to what it no longer holds, and FILE itself becomes the first piece. Needs room "
                    "for one piece only. Without --in-place or --no-in-place a split does this only when "
                    "the disk cannot hold FILE and its pieces side by side. Not with --keep or --into");
    split->add_flag("--no-in-place", arguments.noInPlace,
                    "Never cut FILE in place: a split whose disk cannot hold FILE and its pieces side by "
                    "side is refused");

    CLI::App* join = app.add_subcommand(
        "join", "Rebuild the original file next to its pieces from any one of them. "
                "Each piece is deleted once its bytes are in the rebuilt file.");
    join->add_option("PIECE", arguments.joinPath, "Any one piece, e.g. movie.avi.0.3.plit")->required();

    for (CLI::App* job : {split, join}) {
        job->add_flag("--keep", arguments.keep,
                      "Copy instead of move: split keeps FILE, join keeps the pieces and their list");
        job->add_option("--into", arguments.intoFolder,
                        "Write into the existing folder DIR: split its pieces and list, join the rebuilt file")
            ->option_text("DIR");
    }

    CLI::App* verify = app.add_subcommand(
        "verify", "Check every piece against the set's checksum list, changing nothing: one line per piece "
                  "(ok, damaged, missing, or, while a join is unfinished, in the rebuilt file), then a summary.");
    verify->add_option("PIECE_OR_LIST", arguments.verifyPath,
                       "Any one piece, or the set's checksum list, e.g. movie.avi.plit.sha256")
        ->required();

    app.footer(HelpFooter());

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? kExitSucceeded : kExitRefused;
    }
    if (*split)
        return RunSplit(arguments);
    return *join ? RunJoin(arguments) : RunVerify(arguments);
}

}  // namespace

int RunVandrel(int argc, char** argv)
{
    int status = ParseAndRun(argc, argv);
    std::string reason;
    if (!CloseStandardOutput(reason)) {
        WriteText(OutputStream::Error, "vandrel: standard output: " + reason + "\n");
        status = std::max(status, kExitFailed);
    }
    return status;
}
