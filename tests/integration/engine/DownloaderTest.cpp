// One download attempt on its own thread: what is appended to the bytes on disk and what starts
// over, what counts as a whole body, the body hooks, and cancels that leave nothing behind.
#include "EngineTestSupport.h"
#include "NginxServer.h"
#include "TestHttpServer.h"

#include "engine/QSDownloader.h"
#include "engine/QSInstallFiles.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <mutex>

using namespace enginetest;

namespace {

// The threads of this process that carry the downloader's thread name.
int downloadThreads()
{
    int count = 0;
    for (const QString &task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        count += readFile(QStringLiteral("/proc/self/task/%1/comm").arg(task)).trimmed() == "Download";
    return count;
}

// A downloader whose hooks record what they saw; it deletes itself from its outcome, as the flow does.
struct Watched {
    Watched(const QUrl &url, const QString &archive) : downloader(new QSDownloader(url, archive, {}))
    {
        QThread *owner = QThread::currentThread();
        downloader->onBodyBytes = [this, owner](QByteArrayView bytes) {
            const std::lock_guard lock(mutex);
            body.append(bytes);
            bodyOnOwnerThread |= QThread::currentThread() == owner;
            bodyAfterCancel |= cancelled;
        };
        downloader->onBodyRestarted = [this] {
            const std::lock_guard lock(mutex);
            body.clear();
        };
        downloader->onFinished = [this, owner](const QSDownloader::Outcome &o) {
            const std::lock_guard lock(mutex);
            outcome = o, bodyAtOutcome = body, outcomeOnOtherThread |= QThread::currentThread() != owner;
            ++outcomes;
            delete downloader;  // at once: the downloader must not touch itself afterwards
        };
    }
    std::mutex mutex;
    QSDownloader *downloader;
    QByteArray body, bodyAtOutcome;
    bool bodyOnOwnerThread = false, outcomeOnOtherThread = false, cancelled = false, bodyAfterCancel = false;
    int outcomes = 0;
    QSDownloader::Outcome outcome;
};

}  // namespace

// Bytes on disk are continued only by a 206 that starts right after them, of a body of the same
// length, asked for with the validator in If-Range; anything else ends the attempt or starts over.
TEST(Downloader, AppendsOnlyAMatchingPartialAnswerAndJudgesTheWholeBody)
{
    TestEnv env;
    const QByteArray body = noise(256 << 10, 7);
    const qint64 onDisk = 100 << 10, total = body.size();
    const auto range = [](qint64 first, qint64 last, qint64 of) {
        return TestHttpServer::Headers{{"Content-Range", QStringLiteral("bytes %1-%2/%3").arg(first).arg(last).arg(of).toLatin1()}};
    };
    using Answer = TestHttpServer::Answer;
    enum Result { Whole, Resumed, Restarted, Fails };
    const struct {
        const char *what;
        bool resume;
        Answer answer;
        Result result;
        const char *reason = "";  // in the failure's description
    } cases[] = {
        {"the whole body", false, Answer{200, {}, body}, Whole},
        {"the rest after the bytes on disk", true, Answer{206, range(onDisk, total - 1, total), body.mid(onDisk)}, Resumed},
        {"the whole body again (the archive changed)", true, Answer{200, {}, body}, Restarted},
        {"a 206 from byte 0", true, Answer{206, range(0, total - 1, total), body}, Fails, "at the wrong place"},
        {"a 206 of a longer body", true, Answer{206, range(onDisk, total + 99, total + 100), body.mid(onDisk) + QByteArray(100, 'x')}, Fails, "at the wrong place"},
        // Whole as far as HTTP goes (its Content-Length), short of the length the range names.
        {"a 206 that ends before the range does", true, Answer{206, range(onDisk, total - 1, total), body.mid(onDisk, 50 << 10)}, Fails,
         "The transfer ended after"},
    };
    const QString archive = QSInstallFiles::archivePath(), partial = QSInstallFiles::partialPathFor(archive);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestHttpServer server;
        server.answer("/a.zip", c.answer);
        Watched w(server.url("/a.zip"), archive);
        if (c.resume) {
            QFile file(partial);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(body.left(onDisk)) == onDisk);
            file.close();
            w.downloader->setResumePoint({onDisk, total, "\"v1\""});
        }
        ASSERT_TRUE(w.downloader->start(nullptr));
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.outcomes > 0; }, 20000));
        QTest::qWait(30);
        const std::lock_guard lock(w.mutex);
        EXPECT_EQ(w.outcomes, 1);
        const TestHttpServer::Request &request = server.requests().first();
        EXPECT_EQ(request.header("Range"), c.resume ? "bytes=" + QByteArray::number(onDisk) + "-" : QByteArray());
        EXPECT_EQ(request.header("If-Range"), c.resume ? "\"v1\"" : QByteArray());
        EXPECT_FALSE(w.outcomeOnOtherThread || w.bodyOnOwnerThread) << "the body is the transfer thread's work";
        if (c.result == Fails) {
            EXPECT_EQ(w.outcome.kind, QSDownloader::Outcome::Kind::TransportFailure) << w.outcome.httpStatus;
            EXPECT_TRUE(w.outcome.errorDescription.contains(QLatin1String(c.reason))) << w.outcome.errorDescription.toStdString();
            EXPECT_FALSE(QFileInfo::exists(archive));
        } else {
            EXPECT_EQ(w.outcome.kind, QSDownloader::Outcome::Kind::Complete) << w.outcome.errorDescription.toStdString();
            EXPECT_EQ(w.outcome.httpStatus, 200);
            EXPECT_EQ(w.outcome.resumed, c.result == Resumed);
            EXPECT_EQ(w.outcome.restarted, c.result == Restarted);
            EXPECT_TRUE(readFile(archive) == body);
            EXPECT_TRUE(w.bodyAtOutcome == body) << "every byte reaches the hooks, in order, before the outcome";
        }
        EXPECT_TRUE(QTest::qWaitFor([] { return downloadThreads() == 0; }, 5000));
        QFile::remove(archive), QFile::remove(partial);
    }
}

// Cancelled as soon as the body flows, with much of it on disk, deleted without a cancel, and
// between the finished body and its outcome: no file, no thread, no later hook, no outcome.
TEST(Downloader, ACancelAtAnyPointLeavesNoFileNoThreadAndNoLaterWrite)
{
    TestEnv env;
    NginxServer nginx;
    nginx.putFile(QStringLiteral("big.zip"), noise(128 << 20, 7));
    nginx.putFile(QStringLiteral("small.zip"), noise(1 << 20, 7));
    ASSERT_TRUE(nginx.start({}));
    const QString archive = QSInstallFiles::archivePath(), partial = QSInstallFiles::partialPathFor(archive);
    const struct {
        const char *what;
        qint64 bytesBeforeStop;  // -1: once the archive is finished, handling no event meanwhile
        bool cancel;
    } cases[] = {{"at the first progress", 1, true}, {"with 64 MiB on disk", 64 << 20, true},
                 {"deleted while running", 16 << 20, false}, {"the body finished, its outcome not delivered", -1, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Watched w(nginx.url(c.bytesBeforeStop < 0 ? "/small.zip" : "/big.zip"), archive);
        QSDownloader *downloader = w.downloader;
        qint64 progressed = 0;
        downloader->onProgress = [&progressed](qint64 received, qint64) { progressed = received; };
        ASSERT_TRUE(downloader->start(nullptr));
        if (c.bytesBeforeStop < 0) {
            QDeadlineTimer deadline(30000);
            while (!QFileInfo::exists(archive) && !deadline.hasExpired())
                QThread::msleep(5);
            ASSERT_TRUE(QFileInfo::exists(archive));
        } else {
            ASSERT_TRUE(QTest::qWaitFor([&] { return progressed >= c.bytesBeforeStop; }, 60000));
        }
        if (c.cancel)
            downloader->cancel();
        delete downloader;
        EXPECT_FALSE(QFileInfo::exists(partial) || QFileInfo::exists(archive));
        w.mutex.lock();
        w.cancelled = true;
        w.mutex.unlock();
        EXPECT_TRUE(QTest::qWaitFor([] { return downloadThreads() == 0; }, 5000));
        QTest::qWait(300);  // anything still on its way from the transfer would land now
        const std::lock_guard lock(w.mutex);
        EXPECT_FALSE(QFileInfo::exists(partial) || QFileInfo::exists(archive));
        EXPECT_FALSE(w.bodyAfterCancel);
        EXPECT_EQ(w.outcomes, 0);
    }
}
