#pragma once
// Hashing on several threads while one thread reads: each lane is a thread
// that hashes, in order, the blocks the caller hands it. The caller does all
// the reading, so every file call of a job stays on the job's thread, in an
// order that does not depend on how the threads are scheduled.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "sha256.h"

class HashLanes {
public:
    // A job of fewer bytes hashes on its own thread: starting the lanes'
    // threads would cost more than it saves.
    static constexpr std::int64_t kLeastBytesWorthLanes = 4 << 20;

    // Starts `lanes` threads, each with a few blocks of kBlockSize bytes.
    explicit HashLanes(int lanes);
    // Waits for every block handed over, then ends the threads.
    ~HashLanes();
    HashLanes(const HashLanes&) = delete;
    HashLanes& operator=(const HashLanes&) = delete;

    static constexpr std::int64_t kBlockSize = 256 << 10;

    int count() const { return static_cast<int>(lanes_.size()); }
    // A free block of `lane` for the caller to fill, waiting while it has none.
    // It is the caller's until hash() or giveBack() returns it to the lane.
    char* takeBlock(int lane);
    // Hands `block`, taken from `lane` and holding `bytes`, to the lane, which
    // adds them to `into` (and to `also`, when given) after the blocks before it.
    void hash(int lane, char* block, std::int64_t bytes, Sha256& into, Sha256* also);
    // Returns a block taken and left unused.
    void giveBack(int lane, char* block);
    // Waits until every block handed over has been hashed.
    void drain();

private:
    struct Work {
        char* block;
        std::int64_t bytes;
        Sha256* into;
        Sha256* also;
    };
    struct Lane {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<Work> queued;
        std::vector<char*> free;
        std::vector<std::unique_ptr<char[]>> blocks;
        int busy = 0;  // blocks taken off the queue and not yet hashed
        bool stopping = false;
        std::thread thread;
    };
    static void Run(Lane& lane);

    std::vector<std::unique_ptr<Lane>> lanes_;
};
