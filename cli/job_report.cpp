#include "job_report.h"

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
    return "vandrel: " + Pieces(result.pieceCount) + " in " + Quoted(FolderOf(result.resultPath)) +
           (result.kept ? " (" + request.input + " kept)" : "") + "\n";
}

JobReport FormatStoppedReport(const std::string& message, const JobResult& result, const JobRequest& request,
                              Shell shell)
{
    JobReport report;
    if (!request.join) {
        report.error = message.empty() ? "vandrel: the split stopped: " + Quoted(request.input) +
                                             " is whole where it was; the pieces it made are removed\n"
                                       : message + "\n";
        // A piece it could not remove.
        if (!result.file.empty())
            report.error += "vandrel: " + result.file + (result.reason.empty() ? "" : ": " + result.reason) + "\n";
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
