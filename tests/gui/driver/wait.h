#pragma once
// Bounded waiting: every wait of the GUI tests polls with a deadline, so a
// program that never shows what a test expects fails the test instead of
// hanging it.

#include <chrono>
#include <thread>

namespace gui {

using Milliseconds = std::chrono::milliseconds;

// Long enough for a cold Wine process to put up its first window.
constexpr Milliseconds kDefaultTimeout{15000};
constexpr Milliseconds kPollInterval{20};

// Calls `probe` until it returns something that converts to true, or until
// `timeout` has passed; returns the last result either way.
template <class Probe>
auto WaitFor(Probe probe, Milliseconds timeout = kDefaultTimeout) -> decltype(probe())
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto result = probe();
        if (result || std::chrono::steady_clock::now() >= deadline) {
            return result;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

// Sleeps briefly; for the few places that must give the program time to
// react before they look for the absence of something.
inline void Pause(Milliseconds duration) { std::this_thread::sleep_for(duration); }

}  // namespace gui
