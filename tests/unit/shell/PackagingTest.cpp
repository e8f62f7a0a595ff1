// `cmake --install` lays out the bundle, the launcher and the desktop entry that registers the
// command-URL scheme; the installed launcher starts the installer and hands a URL over.

#include "InstallerSandbox.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace {

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Whether a socket file has appeared in the folder (the running instance listens).
bool waitForSocketIn(const QString &folder, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        QDirIterator sockets(folder, {QStringLiteral("*.sock")}, QDir::System | QDir::Files);
        if (sockets.hasNext())
            return true;
        QThread::msleep(50);
    }
    return false;
}

}  // namespace

TEST(Packaging, InstallRegistersTheSchemeAndTheLauncherHandsAUrlOver)
{
    QTemporaryDir prefix;
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(TI_CMAKE_COMMAND),
                  {QStringLiteral("--install"), QStringLiteral(TI_BUILD_DIR), QStringLiteral("--component"),
                   QStringLiteral("installer"), QStringLiteral("--prefix"), prefix.path()});
    ASSERT_TRUE(install.waitForFinished(120000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAll().constData();

    const QString launcher = prefix.filePath(QStringLiteral("bin/tiny-installer"));
    const QString entry = readText(prefix.filePath(QStringLiteral("share/applications/tiny-installer.desktop")));
    EXPECT_TRUE(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=\"%1\" %u\n").arg(launcher))) << entry.toStdString();
    const QRegularExpressionMatch mime = QRegularExpression(QStringLiteral("\nMimeType=x-scheme-handler/(\\w+);\n")).match(entry);
    ASSERT_TRUE(mime.hasMatch()) << entry.toStdString();
    EXPECT_EQ(mime.captured(1), QStringLiteral("qsd"));  // the default portal type "qs", plus "d"
    EXPECT_TRUE(QFile::exists(prefix.filePath(QStringLiteral("lib/tiny-installer/TinyInstaller.app/Contents/Info.plist"))));
    ASSERT_TRUE(QFileInfo(launcher).isExecutable());

    // As the desktop would: the launcher, then the launcher again with a command URL.
    InstallerSandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    RunningInstaller first(sandbox, {}, launcher);
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(waitForSocketIn(sandbox.tmp() + QStringLiteral("/tiny-installer-%1").arg(::getuid()), 15000))
        << first.consoleLines().join('\n').toStdString();

    const QString url = mime.captured(1) + QStringLiteral("://crashInfo");
    RunningInstaller second(sandbox, {url}, launcher);
    ASSERT_TRUE(second.finish(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(first.waitForConsoleLine(url)) << first.consoleLines().join('\n').toStdString();

    first.signal(SIGTERM);
    ASSERT_TRUE(first.finish());
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
}
