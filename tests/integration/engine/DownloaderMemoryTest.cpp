// The body goes to disk as it arrives: the installer's peak memory must not grow with the size
// of the archive. The server runs in another process so that its buffers are not counted.
#include "TestEnv.h"

#include "engine/QSDownloader.h"
#include "engine/QSInstallFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Peak resident memory of this process in KiB ("VmHWM").
qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression hwm(QStringLiteral("VmHWM:\\s+(\\d+) kB"));
    return hwm.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong();
}

// Makes the peak start again from the current resident size (Linux 4.0 and later).
bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

}  // namespace

TEST(DownloaderMemory, PeakMemoryStaysFlatWhileALargeBodyStreamsToDisk)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine; the peak says nothing here";
#endif
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is needed for an out-of-process server";
    TestEnv env;
    // TI_ENGINE_BODY_MIB makes the body larger for a measurement by hand.
    const qint64 mib = qEnvironmentVariableIntValue("TI_ENGINE_BODY_MIB") > 0 ? qEnvironmentVariableIntValue("TI_ENGINE_BODY_MIB") : 96;
    const QString served = env.path(QStringLiteral("served"));
    QDir().mkpath(served);
    {
        QFile body(served + QStringLiteral("/Corvala.zip"));
        ASSERT_TRUE(body.open(QIODevice::WriteOnly));
        ASSERT_TRUE(body.resize(mib << 20));
    }
    QProcess server;
    server.setWorkingDirectory(served);
    server.start(python, {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"), QStringLiteral("0"),
                          QStringLiteral("--bind"), QStringLiteral("127.0.0.1")});
    ASSERT_TRUE(server.waitForStarted());
    static const QRegularExpression portText(QStringLiteral("port (\\d+)"));
    QString banner;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        banner += QString::fromLatin1(server.readAllStandardOutput());
        return portText.match(banner).hasMatch();
    }, 10000));
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/Corvala.zip").arg(portText.match(banner).captured(1)));

    if (!resetPeak())
        GTEST_SKIP() << "cannot reset the peak memory counter here";
    const qint64 before = peakResidentKiB();
    QSDownloader downloader(url, QSInstallFiles::archivePath(), QSDownloadTimeouts{});
    std::optional<QSDownloader::Outcome> outcome;
    downloader.onFinished = [&](const QSDownloader::Outcome &o) { outcome = o; };
    QString error;
    ASSERT_TRUE(downloader.start(&error)) << error.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 120000));
    const qint64 growthKiB = peakResidentKiB() - before;
    server.kill();
    server.waitForFinished();

    ASSERT_EQ(outcome->kind, QSDownloader::Outcome::Kind::Complete) << outcome->errorDescription.toStdString();
    EXPECT_EQ(outcome->httpStatus, 200);
    EXPECT_EQ(QFileInfo(QSInstallFiles::archivePath()).size(), mib << 20);
    RecordProperty("peak_growth_kib", int(growthKiB));
    std::printf("body %lld MiB, peak memory growth %lld KiB\n", static_cast<long long>(mib), static_cast<long long>(growthKiB));
    EXPECT_LT(growthKiB, 32 * 1024) << "the body must not be held in memory";
}
