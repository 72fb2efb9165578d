#include "thread.h"

namespace {

struct ThreadStart {
    AFX_THREADPROC proc;
    void* parameter;
};

DWORD WINAPI RunThread(void* start)
{
    const ThreadStart run = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    return run.proc(run.parameter);
}

}  // namespace

bool AfxBeginThread(AFX_THREADPROC proc, void* parameter, int priority)
{
    auto* start = new ThreadStart{proc, parameter};
    // Created suspended so that the priority holds from the thread's first step.
    HANDLE thread = CreateThread(nullptr, 0, RunThread, start, CREATE_SUSPENDED, nullptr);
    if (!thread) {
        delete start;
        return false;
    }
    SetThreadPriority(thread, priority);
    ResumeThread(thread);
    CloseHandle(thread);
    return true;
}
