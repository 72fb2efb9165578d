#pragma once
// Starting a split or a join on its worker thread. Both windows start their
// jobs here, so the job state is always filled the same way.

#include <windows.h>

#include <cstdint>
#include <string>

enum class JobKind { Split, Join, Verify };

// The name of a job's operation, the caption of its message boxes.
const wchar_t* JobCaption(JobKind kind);

// Fills the job state (the window to notify, the path as UTF-8 (a check's
// in `joinPath`) and, for a split, `partSize`), marks the job as running and starts it on a worker
// thread at the highest priority. Returns at once: true once the job runs,
// false (and `busy` 0) when its thread could not be started.
bool StartJob(JobKind kind, HWND notifyWindow, const std::wstring& path, std::int64_t partSize = 0);

// The kind of the job started last: the running one while `busy` is 1.
JobKind RunningJobKind();
