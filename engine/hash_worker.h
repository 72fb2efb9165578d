#pragma once
// A thread that hashes beside the job's own, so that the two hashes a copy
// feeds with the same bytes (the piece's and the whole original's) take the
// time of one. Started on first use; the job's file calls all stay on the
// job's thread.

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "sha256.h"

class HashWorker {
public:
    HashWorker() = default;
    // Waits for the hash under way, then ends the thread.
    ~HashWorker();
    HashWorker(const HashWorker&) = delete;
    HashWorker& operator=(const HashWorker&) = delete;

    // Starts adding `count` bytes at `bytes` to `hash` on the worker's
    // thread. The bytes must stay as they are, and `hash` untouched, until
    // wait() returns. One hash at a time: the caller waits between two.
    void start(Sha256& hash, const void* bytes, std::size_t count);
    // Returns once the hash started last has taken its bytes.
    void wait();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    Sha256* hash_ = nullptr;  // the hash to feed; null while idle
    const void* bytes_ = nullptr;
    std::size_t count_ = 0;
    bool ending_ = false;
};
