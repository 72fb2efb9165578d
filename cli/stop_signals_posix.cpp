#include <csignal>
#include <iterator>

#include "job_state.h"
#include "stop_signals.h"

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The first signal that came; 0 while none did.
volatile std::sig_atomic_t firstSignal = 0;
struct sigaction previous[std::size(kStopSignals)];

// Only async-signal-safe calls here: a lock-free atomic store, signal, raise.
// The second signal is blocked while its handler runs, so the raised one is
// delivered, with the default action, as the handler returns.
extern "C" void OnStopSignal(int signal)
{
    if (firstSignal == 0) {
        firstSignal = signal;
        jobState.stopRequested = 1;
        return;
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

StopSignalScope::StopSignalScope()
{
    static_assert(std::atomic<int>::is_always_lock_free);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    // One handler at a time: of two signals that come together, the one
    // delivered first is the request to stop and the other ends the process.
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals)
        sigaddset(&action.sa_mask, signal);
    // A read or write cut short by the first signal goes on by itself.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
        sigaction(kStopSignals[i], &action, &previous[i]);
}

StopSignalScope::~StopSignalScope()
{
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
        sigaction(kStopSignals[i], &previous[i], nullptr);
    // Ctrl-C reaches every program of a pipeline: a reader gone with it must
    // not end this one by SIGPIPE as it reports, so that its status stays the
    // signal's own. Its writes fail instead.
    if (firstSignal != 0)
        std::signal(SIGPIPE, SIG_IGN);
}

int StopRequestStatus()
{
    return firstSignal == 0 ? 0 : 128 + firstSignal;
}
