// What `cmake --install` lays out: the desktop entry that registers the command scheme, and the
// launcher, which starts the installed bundle with its arguments as the desktop would. The bundle
// runs with HOME and TMPDIR in a scratch folder, its console going to a file.

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

using namespace Qt::StringLiterals;

TEST(Packaging, InstallRegistersTheSchemeAndTheLauncherPassesItsUrlOn)
{
    QTemporaryDir prefix;
    ASSERT_EQ(QProcess::execute(QStringLiteral(TI_CMAKE_COMMAND), {u"--install"_s, QStringLiteral(TI_BUILD_DIR), u"--component"_s,
                                                                   u"installer"_s, u"--prefix"_s, prefix.path()}),
              0);
    const QString launcher = prefix.filePath(u"bin/tiny-installer"_s);
    QFile entryFile(prefix.filePath(u"share/applications/tiny-installer.desktop"_s));
    ASSERT_TRUE(entryFile.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(entryFile.readAll());
    EXPECT_TRUE(entry.contains(u"\nExec=\"%1\" %u\n"_s.arg(launcher))) << entry.toStdString();
    EXPECT_TRUE(entry.contains(u"\nMimeType=x-scheme-handler/qsd;\n"_s)) << entry.toStdString();
    // X11 desktops match the window to this entry by its WM_CLASS, which Qt takes from the executable.
    EXPECT_TRUE(entry.contains(u"\nStartupWMClass=TinyInstaller\n"_s)) << entry.toStdString();

    // The installer handles its command URL once its start-up is done: the console shows each
    // address it compared the URL with, up to the match.
    QTemporaryDir scratch;
    ASSERT_TRUE(QDir().mkpath(scratch.filePath(u"home"_s)) && QDir().mkpath(scratch.filePath(u"tmp"_s)));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, scratch.filePath(u"home"_s));
    environment.insert(u"TMPDIR"_s, scratch.filePath(u"tmp"_s));
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    QProcess installer;  // its destructor kills it if it still runs
    installer.setProcessEnvironment(environment);
    installer.setStandardOutputFile(QProcess::nullDevice());
    installer.setStandardErrorFile(scratch.filePath(u"console.txt"_s));
    installer.start(launcher, {u"qsd://crashInfo"_s});
    const auto compared = [&] {
        QFile console(scratch.filePath(u"console.txt"_s));
        console.open(QIODevice::ReadOnly);
        return QString::fromUtf8(console.readAll()).split(u'\n').filter(QRegularExpression(u"^qsd://"_s));
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return compared() == QStringList{u"qsd://crashInfo"_s}; }, 15000)) << compared().join(u' ').toStdString();
    ASSERT_TRUE(installer.waitForStarted());
    ::kill(pid_t(installer.processId()), SIGTERM);
    EXPECT_TRUE(installer.waitForFinished(15000) && installer.exitStatus() == QProcess::NormalExit && installer.exitCode() == 0);
}
