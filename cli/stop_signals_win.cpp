#include <windows.h>

#include <atomic>

#include "job_state.h"
#include "stop_signals.h"

namespace {

// 128 + the C runtime's number of the console's signal: SIGINT (2) for
// Ctrl-C, SIGBREAK (21) for Ctrl-Break.
constexpr int kCtrlCStatus = 128 + 2;
constexpr int kCtrlBreakStatus = 128 + 21;

std::atomic<int> requestStatus{0};

// Runs on a thread of its own. FALSE hands the event on to the default
// handler, which ends the process at once.
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    int none = 0;
    if (!requestStatus.compare_exchange_strong(none, event == CTRL_C_EVENT ? kCtrlCStatus : kCtrlBreakStatus))
        return FALSE;
    jobState.stopRequested = 1;
    return TRUE;
}

}  // namespace

StopSignalScope::StopSignalScope()
{
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopSignalScope::~StopSignalScope()
{
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

int StopRequestStatus()
{
    return requestStatus.load();
}
