#include "vandrel_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "checksum_list.h"
#include "console.h"
#include "console_job_sink.h"
#include "job_report.h"
#include "job_state.h"
#include "join_job.h"
#include "part_size.h"
#include "split_job.h"
#include "verify_set.h"
#include "vandrel_version.h"

namespace {

struct Arguments {
    std::string splitPath;
    std::string sizeText;
    std::string joinPath;
    std::string verifyPath;
    bool noList = false;
    bool quiet = false;
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

// Runs a split or a join. `whatWasKept` tells of a file that a successful job
// could not delete; `listPath`: the set's checksum list, for a join.
int RunJob(JobResult (*job)(std::string), const std::string& path, bool quiet, const std::string& whatWasKept,
           const std::string& listPath = {})
{
    return RunOnConsole(
        quiet, [&] { return job(path); },
        [&](const std::string& message, const JobResult& result) {
            return std::pair{FormatJobReport(message, result, whatWasKept, listPath), result.outcome};
        });
}

int RunSplit(const Arguments& arguments)
{
    const PartSize size = ParsePartSize(arguments.sizeText);
    if (!size.error.empty()) {
        WriteText(OutputStream::Error, "vandrel split: " + size.error + "\n");
        return kExitRefused;
    }
    jobState.splitPath = arguments.splitPath;
    jobState.partSize = size.bytes;
    jobState.writeList = !arguments.noList;
    return RunJob(SplitFile, jobState.splitPath, arguments.quiet,
                  "is still there beside its pieces and could not be deleted");
}

int RunJoin(const Arguments& arguments)
{
    jobState.joinPath = arguments.joinPath;
    const std::optional<PieceSet> set = ParsePieceName(arguments.joinPath);
    return RunJob(JoinFiles, jobState.joinPath, arguments.quiet,
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
    split->add_option("SIZE", arguments.sizeText,
                      "Size of each piece: a whole number with an optional unit B, KB, MB or GB "
                      "(1 KB = 1024 bytes), MB when none is given; or fat32: 4 GB less one byte, "
                      "the largest file a FAT32 disk holds")
        ->required();
    split->add_flag("--no-list", arguments.noList,
                    "Write no checksum list (FILE.plit.sha256) beside the pieces, e.g. when a script "
                    "only moves the files on one disk");

    CLI::App* join = app.add_subcommand(
        "join", "Rebuild the original file next to its pieces from any one of them. "
                "Each piece is deleted once its bytes are in the rebuilt file.");
    join->add_option("PIECE", arguments.joinPath, "Any one piece, e.g. movie.avi.0.3.plit")->required();

    CLI::App* verify = app.add_subcommand(
        "verify", "Check every piece against the set's checksum list, changing nothing: one line per piece "
                  "(ok, damaged, missing, or, while a join is unfinished, in the rebuilt file), then a summary.");
    verify->add_option("PIECE_OR_LIST", arguments.verifyPath,
                       "Any one piece, or the set's checksum list, e.g. movie.avi.plit.sha256")
        ->required();

    app.footer("Examples:\n  vandrel split movie.avi 700MB\n  vandrel split backup.img fat32\n"
               "  vandrel join movie.avi.0.3.plit\n  vandrel verify movie.avi.plit.sha256\n"
               "  vandrel split -- -x 5    (-- ends the options)\n\n"
               "Exit status: 0 done (verify: every piece right), 1 a failure: a copy failed, standard output "
               "could not be written, or verify found a piece not right; 2 refused (verify: no checksum list) "
               "or wrong arguments.");

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
