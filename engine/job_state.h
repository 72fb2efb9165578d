#pragma once
// The state one split or join shares with the window that started it, the two
// notifications a job posts to that window, and the job's message box.

#include <atomic>
#include <cstdint>
#include <string>

// A window handle as the engine passes it around (an HWND on Windows).
using WindowHandle = void*;

// Posted to `notifyWindow`, wParam 0 and lParam 0. They share their numbers
// with PBM_SETRANGE and PBM_SETPOS: they go to the dialog, never to its bar.
constexpr unsigned WM_JOB_PROGRESS = 0x400 + 1;
constexpr unsigned WM_JOB_FINISHED = 0x400 + 2;

// A failed free-space query. A job that sees it skips its space check.
constexpr std::int64_t FREE_QUERY_FAILED = -7;

// When a split cuts its input in place, from the end, instead of writing every
// piece beside a whole input: only when the disk cannot hold both (the window
// asks first), always (the command line's --in-place), or never
// (--no-in-place: such a split is refused as it always was).
enum class InPlaceChoice { WhenShort, Always, Never };

struct JobState {
    // 1 while a job runs. Read by the window thread, written by both threads.
    std::atomic<int> busy{0};
    // 1 in the command-line join: the process ends when the join returns.
    std::atomic<int> exitWhenDone{0};
    // Receives the job's notifications and owns its message boxes.
    std::atomic<WindowHandle> notifyWindow{nullptr};
    // Inputs, written by the starter before the worker starts (UTF-8 paths).
    std::string splitPath;
    std::string joinPath;
    std::int64_t partSize = 0;
    // A split writes the set's checksum list beside the pieces; only the
    // command line's --no-list turns it off.
    bool writeList = true;
    // A copy instead of a move: the split keeps its input, the join keeps the
    // pieces and their list (the command line's --keep).
    bool keep = false;
    // The folder the split writes its pieces and list into, or the join its
    // rebuilt file; empty: beside the input, or beside the pieces.
    std::string intoFolder;
    // Whether a split may cut its input in place (InPlaceChoice).
    InPlaceChoice inPlace = InPlaceChoice::WhenShort;
    // Set by a signal, a console's Ctrl-C or the window: the job stops at its
    // next safe point (the end of the chunk it is copying) and leaves the
    // state its contract names for a stop. Only ever set while a job runs.
    std::atomic<int> stopRequested{0};
    // Progress: the job's size in bytes and how far its copy has got.
    std::atomic<std::int64_t> totalBytes{0};
    std::atomic<std::int64_t> bytesDone{0};
};

// The one job state of the process.
extern JobState jobState;

// Where a job's notifications and messages go. The platform's own sink posts
// window messages and shows message boxes; tests and the command line put
// their own in its place.
class JobNotificationSink {
public:
    virtual ~JobNotificationSink() = default;
    virtual void post(WindowHandle window, unsigned message) = 0;
    // Shows `text` under `caption` with one OK button and returns when it is dismissed.
    virtual void showMessage(WindowHandle owner, const std::string& text, const std::string& caption) = 0;
    // Asks `text` under `caption` with Yes and No buttons; true for Yes. Where
    // nobody can be asked (the command line, which was told what to do by its
    // options), the answer is yes.
    virtual bool askYesNo(WindowHandle owner, const std::string& text, const std::string& caption) = 0;
};

// The sink in use; the platform's own unless one was set.
JobNotificationSink& notificationSink();
// Puts `sink` in place of the platform's own; nullptr puts the platform's back.
void setNotificationSink(JobNotificationSink* sink);
// The platform's own sink (notify_win.cpp / notify_posix.cpp).
JobNotificationSink& platformNotificationSink();

// Posts `message` to the job's `notifyWindow`.
void PostJobNotification(unsigned message);

// Shows the job's modal OK message box, owned by `notifyWindow`; blocks until dismissed.
void ShowJobMessage(const std::string& text, const std::string& caption);

// Asks the job's Yes / No question, owned by `notifyWindow`; true for Yes.
bool AskJobQuestion(const std::string& text, const std::string& caption);

// Marks a job as running for as long as it lives: `busy` is 1 from its
// construction and 0 again on every way out of the job.
class BusyScope {
public:
    BusyScope() { jobState.busy = 1; }
    ~BusyScope() { jobState.busy = 0; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};

// The signature of a job's thread procedure: one pointer-sized parameter,
// which the job ignores, and 0 as the thread's result.
using JobThreadProc = unsigned (*)(void* parameter);
