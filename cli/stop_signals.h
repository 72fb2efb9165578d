#pragma once
// The user's request to stop a running job: SIGINT, SIGTERM or SIGHUP, or a
// console's Ctrl-C or Ctrl-Break on Windows. The first one sets
// `jobState.stopRequested`, and the job stops at its next safe point; the
// second ends the process at once, by the same signal (a kill is always safe).

// Catches the requests for as long as it lives: construct it just before the
// job starts; its end puts the previous handling back. Once a request came, a
// write to a closed pipe fails rather than ending the process.
class StopSignalScope {
public:
    StopSignalScope();
    ~StopSignalScope();
    StopSignalScope(const StopSignalScope&) = delete;
    StopSignalScope& operator=(const StopSignalScope&) = delete;
};

// The exit status that tells which request came: 128 + the signal's number
// (130 SIGINT or Ctrl-C, 143 SIGTERM, 129 SIGHUP, 149 Ctrl-Break, as
// SIGBREAK is 21); 0 while none came.
int StopRequestStatus();
