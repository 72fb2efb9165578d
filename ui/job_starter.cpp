#include "job_starter.h"

#include "framework/thread.h"
#include "job_messages.h"
#include "job_state.h"
#include "join_job.h"
#include "platform/text.h"
#include "split_job.h"
#include "verify_messages.h"
#include "verify_set.h"

namespace {
// Written and read on the window thread only.
JobKind lastStarted = JobKind::Split;
}  // namespace

// The engine's captions, widened once: the window's refusals and the job's own
// boxes must carry the same name.
const wchar_t* JobCaption(JobKind kind)
{
    static const std::wstring split = ToWidePath(job_messages::kSplitCaption);
    static const std::wstring join = ToWidePath(job_messages::kJoinCaption);
    static const std::wstring verify = ToWidePath(verify_messages::kVerifyCaption);
    return (kind == JobKind::Split ? split : kind == JobKind::Join ? join : verify).c_str();
}

bool StartJob(JobKind kind, HWND notifyWindow, const std::wstring& path, std::int64_t partSize)
{
    jobState.notifyWindow = notifyWindow;
    if (kind == JobKind::Split) {
        jobState.splitPath = ToNarrowPath(path);
        jobState.partSize = partSize;
        jobState.bytesDone = 0;
        // In place only when the disk cannot hold the file and its pieces,
        // and only after the user has said yes to the job's question.
        jobState.inPlace = InPlaceChoice::WhenShort;
    } else {
        jobState.joinPath = ToNarrowPath(path);
    }
    lastStarted = kind;
    // Set here as well as by the job, so that no second job can start in the
    // moment before the worker runs.
    jobState.busy = 1;
    const AFX_THREADPROC proc = kind == JobKind::Split  ? SplitThreadProc
                                : kind == JobKind::Join ? JoinThreadProc
                                                        : VerifyThreadProc;
    if (AfxBeginThread(proc, notifyWindow, THREAD_PRIORITY_HIGHEST))
        return true;
    jobState.busy = 0;
    return false;
}

JobKind RunningJobKind()
{
    return lastStarted;
}
