// The download runs on a thread of its own: the body hooks see every byte there, in order, before
// the outcome arrives on the owner's thread; a cancel in the middle of a fast transfer leaves no
// file behind, no thread and no later write; the owner may delete the downloader from its outcome.
#include "EngineTestSupport.h"
#include "NginxServer.h"

#include "engine/QSDownloader.h"
#include "engine/QSInstallFiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>

#include <mutex>

using namespace enginetest;

namespace {

QByteArray noise(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(7);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

// The threads of this process that carry the downloader's thread name.
int downloadThreads()
{
    int count = 0;
    for (const QString &task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        count += readFile(QStringLiteral("/proc/self/task/%1/comm").arg(task)).trimmed() == "Download";
    return count;
}

// What the hooks of one downloader saw, and on which threads.
struct Observed {
    std::mutex mutex;
    QByteArray body;
    bool bodyOnOwnerThread = false;
    int bodyCallsAfterCancel = 0;
    bool cancelled = false;
    int outcomes = 0;
    bool outcomeOnOtherThread = false;
    QByteArray bodyAtOutcome;
};

QSDownloader *makeDownloader(const QUrl &url, const QString &archive, Observed &seen)
{
    auto *downloader = new QSDownloader(url, archive, QSDownloadTimeouts{});
    QThread *owner = QThread::currentThread();
    downloader->onBodyBytes = [&seen, owner](QByteArrayView bytes) {
        const std::lock_guard lock(seen.mutex);
        seen.body.append(bytes);
        seen.bodyOnOwnerThread |= QThread::currentThread() == owner;
        seen.bodyCallsAfterCancel += seen.cancelled;
    };
    downloader->onBodyRestarted = [&seen] {
        const std::lock_guard lock(seen.mutex);
        seen.body.clear();
    };
    downloader->onFinished = [&seen, owner, downloader](const QSDownloader::Outcome &) {
        {
            const std::lock_guard lock(seen.mutex);
            ++seen.outcomes;
            seen.outcomeOnOtherThread |= QThread::currentThread() != owner;
            seen.bodyAtOutcome = seen.body;
        }
        delete downloader;  // at once, not later: the downloader must not touch itself afterwards
    };
    return downloader;
}

}  // namespace

TEST(DownloaderThread, EveryBodyByteReachesTheHooksBeforeTheOutcome)
{
    TestEnv env;
    const QByteArray body = noise(24 << 20);
    NginxServer nginx;
    nginx.putFile(QStringLiteral("Corvala.zip"), body);
    ASSERT_TRUE(nginx.start({}));
    const QString archive = QSInstallFiles::archivePath();
    const QString partial = QSInstallFiles::partialPathFor(archive);
    const qint64 onDisk = 5 << 20;  // the resumed case continues these bytes
    const struct {
        const char *what;
        bool resume;
    } cases[] = {{"the whole body", false}, {"bytes on disk read back, then the rest", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Observed seen;
        QSDownloader *downloader = makeDownloader(nginx.url(QStringLiteral("/Corvala.zip")), archive, seen);
        if (c.resume) {
            QFile file(partial);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(body.left(onDisk));
            file.close();
            // A Last-Modified validator that nginx will not match: it sends the body whole, and
            // the hooks must start over with it.
            downloader->setResumePoint({onDisk, body.size(), "Thu, 01 Jan 1970 00:00:00 GMT"});
        }
        ASSERT_TRUE(downloader->start(nullptr));
        ASSERT_TRUE(QTest::qWaitFor([&] { return seen.outcomes > 0; }, 60000));
        QTest::qWait(50);
        const std::lock_guard lock(seen.mutex);
        EXPECT_EQ(seen.outcomes, 1);
        EXPECT_FALSE(seen.outcomeOnOtherThread);
        EXPECT_FALSE(seen.bodyOnOwnerThread) << "the body is the transfer thread's work";
        EXPECT_TRUE(seen.bodyAtOutcome == body) << seen.bodyAtOutcome.size() << " of " << body.size() << " bytes";
        EXPECT_TRUE(readFile(archive) == body);
        EXPECT_TRUE(QTest::qWaitFor([] { return downloadThreads() == 0; }, 5000));
        QFile::remove(archive);
    }
}

TEST(DownloaderThread, CancelDuringAFastTransferLeavesNoFileNoThreadAndNoLaterWrite)
{
    TestEnv env;
    NginxServer nginx;
    nginx.putFile(QStringLiteral("Corvala.zip"), noise(128 << 20));
    ASSERT_TRUE(nginx.start({}));
    const QString archive = QSInstallFiles::archivePath();
    const QString partial = QSInstallFiles::partialPathFor(archive);
    // Cancelled as soon as the body flows, and again once much of it is on disk; then a
    // downloader deleted in the middle of its transfer without a cancel first.
    const struct {
        const char *what;
        qint64 bytesBeforeStop;
        bool deleteOnly;
    } cases[] = {
        {"cancel at the first progress", 1, false},
        {"cancel with 64 MiB on disk", 64 << 20, false},
        {"deleted while running", 16 << 20, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Observed seen;
        QSDownloader *downloader = makeDownloader(nginx.url(QStringLiteral("/Corvala.zip")), archive, seen);
        qint64 progressed = 0;
        downloader->onProgress = [&progressed](qint64 received, qint64) { progressed = received; };
        ASSERT_TRUE(downloader->start(nullptr));
        ASSERT_TRUE(QTest::qWaitFor([&] { return progressed >= c.bytesBeforeStop; }, 60000));
        if (!c.deleteOnly)
            downloader->cancel();
        delete downloader;
        {
            const std::lock_guard lock(seen.mutex);
            seen.cancelled = true;
        }
        EXPECT_FALSE(QFileInfo::exists(partial));
        EXPECT_FALSE(QFileInfo::exists(archive));
        // The thread has finished its work when cancel returns; the system removes it just after.
        EXPECT_TRUE(QTest::qWaitFor([] { return downloadThreads() == 0; }, 5000));
        QTest::qWait(300);  // anything still on its way from the transfer would land now
        EXPECT_FALSE(QFileInfo::exists(partial));
        const std::lock_guard lock(seen.mutex);
        EXPECT_EQ(seen.bodyCallsAfterCancel, 0);
        EXPECT_EQ(seen.outcomes, 0);
    }
}

// The transfer can finish the archive on its thread while its outcome still waits for this one:
// a cancel then must take that archive away too, and the outcome must never arrive.
TEST(DownloaderThread, CancelBetweenTheFinishedBodyAndItsOutcomeLeavesNothing)
{
    TestEnv env;
    NginxServer nginx;
    nginx.putFile(QStringLiteral("Corvala.zip"), noise(1 << 20));
    ASSERT_TRUE(nginx.start({}));
    const QString archive = QSInstallFiles::archivePath();
    Observed seen;
    QSDownloader *downloader = makeDownloader(nginx.url(QStringLiteral("/Corvala.zip")), archive, seen);
    ASSERT_TRUE(downloader->start(nullptr));
    // This thread handles no event meanwhile, so the outcome cannot have been delivered.
    QDeadlineTimer deadline(30000);
    while (!QFileInfo::exists(archive) && !deadline.hasExpired())
        QThread::msleep(5);
    ASSERT_TRUE(QFileInfo::exists(archive));
    downloader->cancel();
    EXPECT_FALSE(QFileInfo::exists(archive));
    QTest::qWait(200);
    EXPECT_EQ(seen.outcomes, 0);
    delete downloader;
}
