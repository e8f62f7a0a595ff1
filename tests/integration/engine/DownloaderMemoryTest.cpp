// The body goes to disk as it arrives: peak memory must not grow with the size of the archive.
// The server runs in another process so that its buffers are not counted.
#include "TestEnv.h"

#include "engine/QSDownloader.h"
#include "engine/QSInstallFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

static qint64 peakResidentKiB()  // "VmHWM"
{
    QFile status(QStringLiteral("/proc/self/status"));
    static const QRegularExpression hwm(QStringLiteral("VmHWM:\\s+(\\d+) kB"));
    return status.open(QIODevice::ReadOnly) ? hwm.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong() : -1;
}

TEST(DownloaderMemory, PeakMemoryStaysFlatWhileALargeBodyStreamsToDisk)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine; the peak says nothing here";
#endif
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is needed for an out-of-process server";
    TestEnv env;
    const qint64 mib = qMax(qEnvironmentVariableIntValue("TI_ENGINE_BODY_MIB"), 96);  // larger by hand
    QDir().mkpath(env.path("served"));
    QFile body(env.path("served/Corvala.zip"));
    ASSERT_TRUE(body.open(QIODevice::WriteOnly) && body.resize(mib << 20));
    body.close();
    QProcess server;
    server.setWorkingDirectory(env.path("served"));
    server.start(python, {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1"});
    static const QRegularExpression portText(QStringLiteral("port (\\d+)"));
    QString banner;
    ASSERT_TRUE(QTest::qWaitFor([&] { return portText.match(banner += server.readAllStandardOutput()).hasMatch(); }, 10000));
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/Corvala.zip").arg(portText.match(banner).captured(1)));

    // The peak starts again from the current resident size (Linux 4.0 and later).
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (!clearRefs.open(QIODevice::WriteOnly) || clearRefs.write("5") != 1)
        GTEST_SKIP() << "cannot reset the peak memory counter here";
    const qint64 before = peakResidentKiB();
    QSDownloader downloader(url, QSInstallFiles::archivePath(), QSDownloadTimeouts{});
    std::optional<QSDownloader::Outcome> outcome;
    downloader.onFinished = [&](const QSDownloader::Outcome &o) { outcome = o; };
    ASSERT_TRUE(downloader.start(nullptr));
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 120000));
    const qint64 growthKiB = peakResidentKiB() - before;
    server.kill();
    server.waitForFinished();

    ASSERT_EQ(outcome->kind, QSDownloader::Outcome::Kind::Complete) << outcome->errorDescription.toStdString();
    EXPECT_EQ(QFileInfo(QSInstallFiles::archivePath()).size(), mib << 20);
    std::printf("body %lld MiB, peak memory growth %lld KiB\n", static_cast<long long>(mib), static_cast<long long>(growthKiB));
    EXPECT_LT(growthKiB, 32 * 1024) << "the body must not be held in memory";
}
