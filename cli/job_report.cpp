#include "job_report.h"

#include "verify_messages.h"

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
    if (check.whole != WholeVerdict::NotChecked)
        report.output += check.originalPath + ": " + (check.whole == WholeVerdict::Right ? verify_messages::kPieceOk : verify_messages::kPieceDamaged) + "\n";
    const std::string summary = message.substr(0, message.find('\n')) + "\n";
    (check.result.outcome == JobOutcome::Succeeded ? report.output : report.error) += summary;
    return report;
}
