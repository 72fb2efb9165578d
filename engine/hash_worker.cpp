#include "hash_worker.h"

HashWorker::~HashWorker()
{
    if (!thread_.joinable())
        return;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return hash_ == nullptr; });
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void HashWorker::start(Sha256& hash, const void* bytes, std::size_t count)
{
    if (!thread_.joinable())
        thread_ = std::thread(&HashWorker::run, this);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hash_ = &hash;
        bytes_ = bytes;
        count_ = count;
    }
    changed_.notify_all();
}

void HashWorker::wait()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return hash_ == nullptr; });
}

void HashWorker::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return hash_ != nullptr || ending_; });
        if (hash_ == nullptr)
            return;
        Sha256& hash = *hash_;
        const void* bytes = bytes_;
        const std::size_t count = count_;
        lock.unlock();
        hash.add(bytes, count);
        lock.lock();
        hash_ = nullptr;
        changed_.notify_all();
    }
}
