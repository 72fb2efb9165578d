#include "job_state.h"

JobState jobState;

namespace {
JobNotificationSink* replacementSink = nullptr;
}

JobNotificationSink& notificationSink()
{
    return replacementSink ? *replacementSink : platformNotificationSink();
}

void setNotificationSink(JobNotificationSink* sink)
{
    replacementSink = sink;
}

void PostJobNotification(unsigned message)
{
    notificationSink().post(jobState.notifyWindow, message);
}

void ShowJobMessage(const std::string& text, const std::string& caption)
{
    notificationSink().showMessage(jobState.notifyWindow, text, caption);
}

bool AskJobQuestion(const std::string& text, const std::string& caption)
{
    return notificationSink().askYesNo(jobState.notifyWindow, text, caption);
}
