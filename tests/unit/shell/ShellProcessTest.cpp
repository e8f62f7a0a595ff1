// The built installer as a process: start and signals, the second instance, command URLs given
// on the command line, a stale or garbled single-instance socket, and a user without
// administrator rights (run as "nobody" under Xvfb when the suite runs as root).

#include "InstallerSandbox.h"
#include "ShellTestSupport.h"

#include "shell/ShellNames.h"
#include "shell/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using shelltest::containsInOrder;
using shelltest::countRecords;

namespace {

const QString kStarted = QStringLiteral("DEBUG ") + shell::kStartedFromAdmin;

QStringList getActionLines(const QStringList &console)
{
    QStringList lines;
    for (const QString &line : console) {
        if (line.startsWith(QLatin1String("qsd://")) || line.startsWith(QLatin1String("QSD://")))
            lines << line;
    }
    return lines;
}

const QStringList kAllAddresses{QStringLiteral("qsd://crashInfo"), QStringLiteral("qsd://innerCrashInfo"),
                                QStringLiteral("qsd://privacyPolicy"), QStringLiteral("qsd://licenseAgreement")};

// The socket the installer in the sandbox listens on (its private folder as the Linux host names it).
QString socketPathIn(const InstallerSandbox &sandbox)
{
    const QString folder = sandbox.tmp() + QStringLiteral("/tiny-installer-%1").arg(::getuid());
    const passwd *user = ::getpwuid(::getuid());
    return shell::SingleInstance::socketPathFor(folder, QString::fromLatin1(InstallerSandbox::kBundleIdentifier),
                                                QString::fromLocal8Bit(user ? user->pw_name : ""));
}

class ShellProcess : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sandbox.ok()); }

    // Starts the first instance and waits until it has passed start-up.
    std::unique_ptr<RunningInstaller> startFirst(const QStringList &arguments = {})
    {
        auto first = std::make_unique<RunningInstaller>(sandbox, arguments);
        EXPECT_TRUE(first->started());
        EXPECT_TRUE(first->waitForRecord(kStarted)) << first->consoleLines().join('\n').toStdString();
        // The window's own start records follow; the last of them is the "Start" event.
        EXPECT_TRUE(first->waitForRecord(QStringLiteral("EVT:Start"))) << first->consoleLines().join('\n').toStdString();
        return first;
    }

    // Runs a second instance to its end and checks that it left at once with status 0.
    // The first instance may write records of its own meanwhile (allowedFromFirst names them).
    void runSecond(const QStringList &arguments, const QString &allowedFromFirst = QString())
    {
        const qsizetype recordsBefore = sandbox.records().size();
        RunningInstaller second(sandbox, arguments);
        ASSERT_TRUE(second.started());
        ASSERT_TRUE(second.finish(10000));
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0);
        // The second one wrote no record.
        QStringList added = sandbox.records().mid(recordsBefore);
        if (!allowedFromFirst.isEmpty())
            added.removeIf([&](const QString &record) { return record.contains(allowedFromFirst); });
        EXPECT_TRUE(added.isEmpty()) << added.join('\n').toStdString();
    }

    void endWith(RunningInstaller &installer, int signalNumber)
    {
        installer.signal(signalNumber);
        ASSERT_TRUE(installer.finish());
        EXPECT_EQ(installer.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(installer.exitCode(), 0);
    }

    InstallerSandbox sandbox;
};

class ShellProcessSignals : public ShellProcess, public ::testing::WithParamInterface<int> {};

}  // namespace

TEST_P(ShellProcessSignals, StartThenSignalWritesTheStartAndEndRecordsInOrder)
{
    auto installer = startFirst();
    endWith(*installer, GetParam());

    const QString ownCache = sandbox.home() + QStringLiteral("/.cache/") + QString::fromLatin1(InstallerSandbox::kBundleIdentifier);
    const QString sharedCache = sandbox.home() + QStringLiteral("/.cache/") + shell::kSoftwareInstallerCacheId;
    const QStringList expected{
        QStringLiteral("DEBUG Removing app cache from %1 .").arg(ownCache),
        QStringLiteral("DEBUG Failed to remove app cache from %1 .").arg(ownCache),
        QStringLiteral("ERROR Error: %1").arg(ownCache),
        QStringLiteral("DEBUG Removing app cache from %1 .").arg(sharedCache),
        QStringLiteral("DEBUG Failed to remove app cache from %1 .").arg(sharedCache),
        QStringLiteral("ERROR Error: %1").arg(sharedCache),
        kStarted,
        QStringLiteral("EVT:Start"),
        QStringLiteral("EVT:End"),
        QStringLiteral("DEBUG ") + shell::kInstallerEnd,
        QStringLiteral("DEBUG ") + shell::kLogUploadUrlNotAvailable,
    };
    const QStringList records = sandbox.records();
    QString why;
    EXPECT_TRUE(containsInOrder(records, expected, &why)) << why.toStdString();
    EXPECT_EQ(countRecords(records, QStringLiteral("DEBUG ") + shell::kInstallerEnd), 1);
    EXPECT_EQ(records.last(), QStringLiteral("DEBUG ") + shell::kLogUploadUrlNotAvailable);
    // Nothing of the socket is left behind.
    EXPECT_FALSE(QFileInfo::exists(socketPathIn(sandbox)));
}

INSTANTIATE_TEST_SUITE_P(Shell, ShellProcessSignals, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int> &row) {
                             return std::string(row.param == SIGTERM ? "SIGTERM" : row.param == SIGINT ? "SIGINT" : "SIGHUP");
                         });

TEST_F(ShellProcess, ASecondInstanceHandsOverItsUrlAndLeavesWithStatusZero)
{
    auto first = startFirst();
    // The first opens the privacy page and records the user's language for it.
    runSecond({QStringLiteral("qsd://privacyPolicy")}, QStringLiteral("Language: "));

    // The first compared the text with each address in order up to the match.
    ASSERT_TRUE(first->waitForConsoleLine(QStringLiteral("qsd://privacyPolicy")));
    EXPECT_EQ(getActionLines(first->consoleLines()), kAllAddresses.mid(0, 3));

    runSecond({});  // without a URL: only "come forward"
    QThread::msleep(200);
    EXPECT_EQ(getActionLines(first->consoleLines()).size(), 3);
    EXPECT_TRUE(first->isRunning());
    endWith(*first, SIGTERM);
}

TEST_F(ShellProcess, NearMissesAndOtherSchemesDoNothing)
{
    auto first = startFirst();
    const qsizetype recordsBefore = sandbox.records().size();
    int compared = 0;
    for (const QString &url : {QStringLiteral("qsd://licenseAgreement/"), QStringLiteral("QSD://licenseAgreement"),
                               QStringLiteral("https://www.brightmoor.example/")}) {
        SCOPED_TRACE(url.toStdString());
        runSecond({url});
        compared += 4;
        // Compared with all four addresses, none matched.
        EXPECT_TRUE(first->waitForConsole([compared](const QStringList &lines) { return getActionLines(lines).size() >= compared; }));
        EXPECT_EQ(getActionLines(first->consoleLines()), QStringList(kAllAddresses + kAllAddresses + kAllAddresses).mid(0, compared));
    }
    EXPECT_TRUE(first->isRunning());
    EXPECT_EQ(sandbox.records().size(), recordsBefore);
    endWith(*first, SIGTERM);
}

TEST_F(ShellProcess, TheFirstInstanceHandlesItsOwnUrlAfterStartUp)
{
    auto first = startFirst({QStringLiteral("launched-from-drive"), QStringLiteral("qsd://innerCrashInfo")});
    ASSERT_TRUE(first->waitForConsoleLine(QStringLiteral("qsd://innerCrashInfo")));
    QThread::msleep(100);
    EXPECT_EQ(getActionLines(first->consoleLines()), kAllAddresses.mid(0, 2));
    endWith(*first, SIGTERM);
}

TEST_F(ShellProcess, AStaleSocketLeftByACrashedInstanceDoesNotBlockTheNextStart)
{
    const QString path = socketPathIn(sandbox);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile::setPermissions(QFileInfo(path).path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray encoded = QFile::encodeName(path);
        ASSERT_LT(size_t(encoded.size()), sizeof(address.sun_path));
        memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        ::close(fd);  // the file stays, nobody listens: what a crash leaves
    }

    auto first = startFirst();
    // The new instance listens there now: a second one is handed over, not a second window.
    QLocalSocket probe;
    probe.connectToServer(path);
    EXPECT_TRUE(probe.waitForConnected(2000));
    probe.abort();
    runSecond({QStringLiteral("qsd://crashInfo")});
    EXPECT_TRUE(first->waitForConsoleLine(QStringLiteral("qsd://crashInfo")));
    endWith(*first, SIGTERM);
}

TEST_F(ShellProcess, GarbageOnTheSocketIsIgnored)
{
    auto first = startFirst();
    const QString path = socketPathIn(sandbox);
    {
        QLocalSocket flood;
        flood.connectToServer(path);
        ASSERT_TRUE(flood.waitForConnected(2000));
        QByteArray noise(256 * 1024, '\0');
        for (char &byte : noise)
            byte = char(QRandomGenerator::global()->bounded(256));
        noise.replace('\n', 'x');
        flood.write("bogus\n\x01\x02\xff\nopen \n");
        flood.write(noise);
        flood.waitForBytesWritten(2000);
        EXPECT_TRUE(flood.state() == QLocalSocket::UnconnectedState || flood.waitForDisconnected(5000));
    }
    runSecond({QStringLiteral("qsd://licenseAgreement")});
    EXPECT_TRUE(first->waitForConsoleLine(QStringLiteral("qsd://licenseAgreement")));
    EXPECT_TRUE(first->isRunning());
    endWith(*first, SIGTERM);
}

// A user without administrator rights, for real: the binary runs as "nobody" on an X server,
// and the alert is answered with the keyboard as a person would.
TEST_F(ShellProcess, ANonAdministratorGetsTheAlertAndLeavesWithStatusZeroAndNoEnd)
{
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (::geteuid() != 0 || setpriv.isEmpty() || xvfb.isEmpty() || xdotool.isEmpty())
        GTEST_SKIP() << "needs root, setpriv, Xvfb and xdotool";
    const passwd *nobody = ::getpwnam("nobody");
    if (!nobody)
        GTEST_SKIP() << "no user nobody";
    const QStringList asNobody{QStringLiteral("--reuid=%1").arg(nobody->pw_uid), QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                               QStringLiteral("--clear-groups"), QStringLiteral("--")};

    // The sandbox becomes nobody's; skip if nobody cannot even reach it.
    QFile::setPermissions(sandbox.root(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                              | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
    ASSERT_EQ(QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"),
                                                          QStringLiteral("%1:%2").arg(nobody->pw_uid).arg(nobody->pw_gid),
                                                          sandbox.home(), sandbox.tmp()}),
              0);
    if (QProcess::execute(setpriv, asNobody + QStringList{QStringLiteral("/usr/bin/test"), QStringLiteral("-x"), sandbox.executable()}) != 0)
        GTEST_SKIP() << "nobody cannot reach " << sandbox.root().toStdString();

    // Xvfb picks a free display itself and names it on its standard output.
    QProcess server;
    server.setStandardErrorFile(QProcess::nullDevice());
    server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                        QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x800x24")});
    ASSERT_TRUE(server.waitForStarted(5000));
    QByteArray announced;
    while (!announced.contains('\n') && server.waitForReadyRead(10000))
        announced += server.readAllStandardOutput();
    bool numbered = false;
    const int display = announced.trimmed().toInt(&numbered);
    ASSERT_TRUE(numbered) << "Xvfb named no display";
    const QString displayName = QStringLiteral(":%1").arg(display);
    QProcessEnvironment xEnvironment = QProcessEnvironment::systemEnvironment();
    xEnvironment.insert(QStringLiteral("DISPLAY"), displayName);
    auto xdo = [&](const QStringList &arguments, int *status = nullptr) {
        QProcess tool;
        tool.setProcessEnvironment(xEnvironment);
        tool.start(xdotool, arguments);
        tool.waitForFinished(5000);
        if (status)
            *status = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    };
    // The server is ready when a client gets an answer from it.
    QElapsedTimer clock;
    clock.start();
    int probe = -1;
    while (clock.elapsed() < 10000 && server.state() == QProcess::Running) {
        xdo({QStringLiteral("getmouselocation")}, &probe);
        if (probe == 0)
            break;
        QThread::msleep(100);
    }
    ASSERT_EQ(probe, 0) << "Xvfb did not come up on " << displayName.toStdString();

    QProcessEnvironment environment = sandbox.environment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), displayName);
    RunningInstaller installer(sandbox, asNobody + QStringList{sandbox.executable()}, setpriv, environment);
    ASSERT_TRUE(installer.started());

    // Find the alert, give it the focus, press Return; again while it stays.
    clock.restart();
    bool answered = false;
    while (clock.elapsed() < 20000 && installer.isRunning()) {
        // At the gate the alert is the installer's only window, whatever language its title has.
        const QString window = xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"),
                                    QStringLiteral("TinyInstaller")})
                                   .section(QLatin1Char('\n'), 0, 0);
        if (!window.isEmpty()) {
            xdo({QStringLiteral("windowfocus"), window});
            xdo({QStringLiteral("key"), QStringLiteral("Return")});
            answered = true;
        }
        if (installer.finish(500))
            break;
    }
    const bool ended = installer.finish(5000);
    const bool serverLived = server.state() == QProcess::Running;
    server.terminate();
    server.waitForFinished(5000);

    if (!answered && !serverLived)
        GTEST_SKIP() << "the X server went away before the alert could be answered";
    ASSERT_TRUE(answered) << "the alert never appeared; console:\n" << installer.consoleLines().join('\n').toStdString();
    ASSERT_TRUE(ended);
    EXPECT_EQ(installer.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(installer.exitCode(), 0);
    EXPECT_EQ(sandbox.records(), QStringList{QStringLiteral("DEBUG ") + shell::kNonAdminExiting});
}
