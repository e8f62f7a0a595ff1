// The hash beside the reading: every block reaches the signature check whole and in order.

#include "BackgroundHash.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

// Records what it is fed; slow at first, so the reader gets ahead and every block waits its turn.
class RecordingSignature : public ArchiveSignature {
public:
    void addData(const char *data, size_t size) override
    {
        if (fed.isEmpty())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        fed.append(data, qsizetype(size));
    }
    bool verify(QString *) override { return true; }
    QByteArray fed;
};

}  // namespace

TEST(BackgroundHash, EveryBlockIsHashedWholeAndInOrderWhateverItsSize)
{
    QByteArray sent;
    for (int i = 0; i < 40000; ++i)
        sent.append(char(i * 7 + i / 251));
    for (const size_t blockCount : {size_t(1), size_t(4)}) {
        RecordingSignature signature;
        {
            BackgroundHash hash(signature, 1000, blockCount);
            for (qsizetype at = 0; at < sent.size();) {
                const size_t size = std::min<size_t>(1000 - size_t(at % 7) * 100, size_t(sent.size() - at));
                char *block = hash.freeBlock();
                std::memcpy(block, sent.constData() + at, size);
                hash.hash(block, size);
                at += qsizetype(size);
            }
            hash.finish();
            EXPECT_EQ(signature.fed, sent) << blockCount << " blocks";
        }
    }
}
