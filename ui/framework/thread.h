#pragma once
// Starting a worker thread, which runs on its own: no handle is kept.

#include <windows.h>

using AFX_THREADPROC = unsigned (*)(void* parameter);

// Runs `proc(parameter)` on a new thread at `priority` with the default stack
// size, at once. False when the thread could not be created.
bool AfxBeginThread(AFX_THREADPROC proc, void* parameter, int priority = THREAD_PRIORITY_NORMAL);
