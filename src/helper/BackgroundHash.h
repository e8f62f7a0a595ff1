#pragma once

#include "ArchiveSignature.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Feeds a signature check with the archive's blocks on a thread of its own, in the order they
// are handed over, while the caller reads and stores the next ones. Hashing takes about as long as
// reading and storing together (some 2 s a GiB), so the two side by side take half the time.
// Where no thread can be had, each block is hashed when it is handed over.
class BackgroundHash {
public:
    BackgroundHash(ArchiveSignature &signature, std::size_t blockSize, std::size_t blockCount);
    // Stops the thread; blocks not yet hashed are dropped (the check is then not to be trusted).
    ~BackgroundHash();

    // A block of blockSize bytes to fill; waits while every block is being hashed or waiting.
    char *freeBlock();
    // Hands over the first size bytes of a block from freeBlock(); the caller keeps off it.
    void hash(char *block, std::size_t size);
    // Returns once every block handed over has been hashed; the signature may be checked then.
    void finish();
    // Once every block handed over has been hashed, feeds signature instead (a restart): the
    // thread and the blocks stay.
    void restart(ArchiveSignature &signature);

    BackgroundHash(const BackgroundHash &) = delete;
    BackgroundHash &operator=(const BackgroundHash &) = delete;

private:
    struct Filled {
        char *block;
        std::size_t size;
    };
    void run();

    ArchiveSignature *signature_;
    std::vector<std::unique_ptr<char[]>> storage_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<char *> free_;
    std::deque<Filled> filled_;
    bool hashing_ = false;  // the thread holds a block
    bool stopping_ = false;
    std::thread thread_;
};
