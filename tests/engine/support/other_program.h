#pragma once
// Another program on the same machine that opens for writing a file a job
// is reading, as an editor, a download or a log would.

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class OtherWriter {
public:
    OtherWriter() = default;
    OtherWriter(const OtherWriter&) = delete;
    OtherWriter& operator=(const OtherWriter&) = delete;
    ~OtherWriter() { finish(); }

    // Opens `path` for writing and runs `write` while it holds it open: at once
    // when nothing stands in the way; when a job holds a read lease on it
    // (Linux), the opening starts the lease's break at once and the writer
    // waits on a thread of its own until the job lets the file go, as a
    // program's blocking open does. False when it is refused (Windows, where
    // the job shares no writing): `write` never runs.
    bool start(const std::string& path, std::function<void()> write);
    // Waits until `write` has run.
    void finish();

private:
    std::thread waiting_;
};

// Holds `path` open for writing for as long as it lives.
class HeldForWriting {
public:
    explicit HeldForWriting(const std::string& path);
    HeldForWriting(const HeldForWriting&) = delete;
    HeldForWriting& operator=(const HeldForWriting&) = delete;
    ~HeldForWriting();
    bool held() const { return handle_ != -1; }

private:
    std::intptr_t handle_;  // a descriptor on POSIX, a HANDLE on Windows; -1 for none on both
};
