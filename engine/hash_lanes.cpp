#include "hash_lanes.h"

namespace {
// Enough for a lane to hash one block while the caller fills the next.
constexpr int kBlocksPerLane = 3;
}  // namespace

HashLanes::HashLanes(int lanes)
{
    for (int i = 0; i < lanes; ++i) {
        auto lane = std::make_unique<Lane>();
        for (int b = 0; b < kBlocksPerLane; ++b) {
            lane->blocks.emplace_back(new char[kBlockSize]);
            lane->free.push_back(lane->blocks.back().get());
        }
        lane->thread = std::thread(Run, std::ref(*lane));
        lanes_.push_back(std::move(lane));
    }
}

HashLanes::~HashLanes()
{
    for (const std::unique_ptr<Lane>& lane : lanes_) {
        {
            std::lock_guard<std::mutex> lock(lane->mutex);
            lane->stopping = true;
        }
        lane->changed.notify_all();
        lane->thread.join();
    }
}

char* HashLanes::takeBlock(int laneIndex)
{
    Lane& lane = *lanes_[static_cast<std::size_t>(laneIndex)];
    std::unique_lock<std::mutex> lock(lane.mutex);
    lane.changed.wait(lock, [&] { return !lane.free.empty(); });
    char* block = lane.free.back();
    lane.free.pop_back();
    return block;
}

void HashLanes::hash(int laneIndex, char* block, std::int64_t bytes, Sha256& into, Sha256* also)
{
    Lane& lane = *lanes_[static_cast<std::size_t>(laneIndex)];
    {
        std::lock_guard<std::mutex> lock(lane.mutex);
        lane.queued.push_back(Work{block, bytes, &into, also});
    }
    lane.changed.notify_all();
}

void HashLanes::giveBack(int laneIndex, char* block)
{
    Lane& lane = *lanes_[static_cast<std::size_t>(laneIndex)];
    {
        std::lock_guard<std::mutex> lock(lane.mutex);
        lane.free.push_back(block);
    }
    lane.changed.notify_all();
}

void HashLanes::drain()
{
    for (const std::unique_ptr<Lane>& lane : lanes_) {
        std::unique_lock<std::mutex> lock(lane->mutex);
        lane->changed.wait(lock, [&] { return lane->queued.empty() && lane->busy == 0; });
    }
}

// Hashes the lane's blocks in the order they came until the lane stops; every
// block handed over before the stop is hashed.
void HashLanes::Run(Lane& lane)
{
    std::unique_lock<std::mutex> lock(lane.mutex);
    for (;;) {
        lane.changed.wait(lock, [&] { return !lane.queued.empty() || lane.stopping; });
        if (lane.queued.empty())
            return;
        const Work work = lane.queued.front();
        lane.queued.pop_front();
        ++lane.busy;
        lock.unlock();
        work.into->add(work.block, static_cast<std::size_t>(work.bytes));
        if (work.also)
            work.also->add(work.block, static_cast<std::size_t>(work.bytes));
        lock.lock();
        --lane.busy;
        lane.free.push_back(work.block);
        lane.changed.notify_all();
    }
}
