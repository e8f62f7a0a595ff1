#include "BackgroundHash.h"

#include <system_error>

BackgroundHash::BackgroundHash(ArchiveSignature &signature, std::size_t blockSize, std::size_t blockCount)
    : signature_(&signature)
{
    for (std::size_t i = 0; i < blockCount; ++i) {
        storage_.push_back(std::make_unique_for_overwrite<char[]>(blockSize));  // never read before written
        free_.push_back(storage_.back().get());
    }
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error &) {
        // hash() does the work itself.
    }
}

BackgroundHash::~BackgroundHash()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

char *BackgroundHash::freeBlock()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !free_.empty(); });
    char *block = free_.back();
    free_.pop_back();
    return block;
}

void BackgroundHash::hash(char *block, std::size_t size)
{
    if (!thread_.joinable()) {
        signature_->addData(block, size);
        const std::lock_guard<std::mutex> lock(mutex_);
        free_.push_back(block);
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        filled_.push_back({block, size});
    }
    changed_.notify_all();
}

void BackgroundHash::finish()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return filled_.empty() && !hashing_; });
}

void BackgroundHash::restart(ArchiveSignature &signature)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return filled_.empty() && !hashing_; });
    signature_ = &signature;
}

void BackgroundHash::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !filled_.empty(); });
        if (stopping_)
            return;
        const Filled next = filled_.front();
        filled_.pop_front();
        hashing_ = true;
        ArchiveSignature *const signature = signature_;
        lock.unlock();
        signature->addData(next.block, next.size);
        lock.lock();
        hashing_ = false;
        free_.push_back(next.block);
        changed_.notify_all();
    }
}
