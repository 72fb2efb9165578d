#include "job_report.h"

#include <algorithm>
#include <cctype>

#include "verify_messages.h"

namespace {

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

std::string Pieces(std::int32_t count) { return std::to_string(count) + (count == 1 ? " piece" : " pieces"); }

// The folder part of `path`, "." for a bare name.
std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of(kNativeShell == Shell::Windows ? "/\\" : "/");
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

// The command that joins `piece` as `request` asked, ready to paste into `shell`.
std::string JoinCommand(const std::string& piece, const JobRequest& request, Shell shell)
{
    std::string command = std::string(CommandName(shell)) + " join";
    if (request.keep)
        command += " --keep";
    if (!request.intoFolder.empty())
        command += " --into " + ShellQuoted(request.intoFolder, shell);
    // A name that starts with a dash is no option.
    if (!piece.empty() && piece.front() == '-')
        command += " --";
    return command + " " + ShellQuoted(piece, shell);
}

// A size such as 700MB or 1.5GB reads the same in every shell; anything else
// (a blank in "2.75 KB") is quoted.
std::string SizeWord(const std::string& size, Shell shell)
{
    const bool plain = !size.empty() && std::all_of(size.begin(), size.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == '-';
    });
    return plain ? size : ShellQuoted(size, shell);
}

// The command that takes up the split in place `request` asked for, ready to
// paste into `shell`. It names the part size, as a split started again with
// another one is refused.
std::string SplitInPlaceCommand(const JobRequest& request, Shell shell)
{
    std::string command = std::string(CommandName(shell)) + " split --in-place";
    if (request.noList)
        command += " --no-list";
    if (!request.input.empty() && request.input.front() == '-')
        command += " --";
    return command + " " + ShellQuoted(request.input, shell) + " " + SizeWord(request.partSizeText, shell);
}

}  // namespace

JobReport FormatJobReport(const std::string& message, const JobResult& result, const std::string& whatWasKept,
                          const std::string& listPath)
{
    const bool succeeded = result.outcome == JobOutcome::Succeeded;
    JobReport report;
    (succeeded ? report.output : report.error) = message + "\n";
    const std::string reason = result.reason.empty() ? "" : ": " + result.reason;
    if (!result.file.empty() && succeeded)
        report.error += "vandrel: warning: " + result.file + " " + whatWasKept + reason + "\n";
    else if (!result.file.empty())
        report.error += "vandrel: " + result.file + reason + "\n";
    if (result.missingPieces.size() > 1) {
        for (const std::string& piece : result.missingPieces)
            report.error += "vandrel: missing: " + piece + "\n";
    }
    if (!listPath.empty() && !result.checked && result.outcome != JobOutcome::Refused)
        report.error += "vandrel: the pieces could not be checked: there is no checksum list \"" + listPath + "\"\n";
    return report;
}

JobReport FormatVerifyReport(const std::string& message, const SetCheck& check)
{
    if (check.result.outcome == JobOutcome::Refused)
        return FormatJobReport(message, check.result, "");
    JobReport report;
    for (const PieceCheck& piece : check.pieces) {
        report.output += piece.path + ": " + VerdictText(piece.verdict);
        report.output += piece.reason.empty() ? "\n" : ": " + piece.reason + "\n";
    }
    // The whole file's own line, once it was checked; a list made in place
    // has none, and then nothing is claimed of the whole file.
    if (check.whole == WholeVerdict::Right || check.whole == WholeVerdict::Damaged)
        report.output += check.originalPath + ": " + (check.whole == WholeVerdict::Right ? verify_messages::kPieceOk : verify_messages::kPieceDamaged) + "\n";
    const std::string summary = message.substr(0, message.find('\n')) + "\n";
    (check.result.outcome == JobOutcome::Succeeded ? report.output : report.error) += summary;
    return report;
}

std::string FormatOutcomeLine(const JobResult& result, const JobRequest& request)
{
    if (result.resultPath.empty() || result.pieceCount < 1)
        return {};
    if (request.join)
        return "vandrel: " + Quoted(result.resultPath) + " rebuilt from " + Pieces(result.pieceCount) +
               (result.kept ? " (pieces kept)" : "") + "\n";
    const std::string note = result.inPlace ? " (split in place)"
                             : result.kept  ? " (" + request.input + " kept)"
                                            : "";
    return "vandrel: " + Pieces(result.pieceCount) + " in " + Quoted(FolderOf(result.resultPath)) + note + "\n";
}

JobReport FormatStoppedReport(const std::string& message, const JobResult& result, const JobRequest& request,
                              Shell shell)
{
    JobReport report;
    if (!request.join) {
        if (!message.empty())
            report.error = message + "\n";
        else if (result.inPlace)
            report.error = "vandrel: the split stopped: " + Quoted(request.input) + " holds the first " +
                           std::to_string(result.piecesHeld) + " of its " + Pieces(result.pieceCount) +
                           ", and the others are beside it\n";
        else
            report.error = "vandrel: the split stopped: " + Quoted(request.input) +
                           " is whole where it was; the pieces it made are removed\n";
        // A piece it could not remove.
        if (!result.file.empty())
            report.error += "vandrel: " + result.file + (result.reason.empty() ? "" : ": " + result.reason) + "\n";
        report.error += FormatInPlaceWaysOut(result, request, shell);
        return report;
    }
    const std::string piece = result.resumeWith.empty() ? request.input : result.resumeWith;
    const std::string held = result.piecesHeld > 0 && !result.resultPath.empty()
                                 ? Quoted(result.resultPath) + " holds " + std::to_string(result.piecesHeld) +
                                       " of " + Pieces(result.pieceCount)
                                 : "no piece is in the rebuilt file yet";
    report.error = "vandrel: the join stopped: " + held + "; run: " + JoinCommand(piece, request, shell) + "\n";
    return report;
}

std::string FormatInPlaceWaysOut(const JobResult& result, const JobRequest& request, Shell shell)
{
    const bool cutShort = result.outcome == JobOutcome::Failed || result.outcome == JobOutcome::Stopped;
    if (!result.inPlace || !cutShort || request.join)
        return {};
    std::string line = "vandrel: to finish the split, run: " + SplitInPlaceCommand(request, shell);
    // Before its first piece was made the input is still whole: there is nothing to join.
    if (!result.resumeWith.empty())
        line += "; to get the whole file back, run: " + JoinCommand(result.resumeWith, JobRequest{}, shell);
    return line + "\n";
}
