#include "InstallerSandbox.h"

#include "ShellTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QThread>

#include <csignal>

namespace {

// A port on 127.0.0.1 that nothing listens on: bound, then closed.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

QString plistString(const QString &key, const QString &value)
{
    return QStringLiteral("    <key>%1</key><string>%2</string>\n").arg(key.toHtmlEscaped(), value.toHtmlEscaped());
}

}  // namespace

InstallerSandbox::InstallerSandbox()
{
    const QString contents = root() + QStringLiteral("/TinyInstaller.app/Contents");
    ok_ = dir_.isValid() && QDir().mkpath(contents + QStringLiteral("/MacOS")) && QDir().mkpath(home())
          && QDir().mkpath(tmp() + QStringLiteral("/runtime"))
          && QFile::copy(QStringLiteral(TI_INSTALLER_EXECUTABLE), executable());
    QFile::setPermissions(tmp() + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const QString configUrl = QStringLiteral("http://127.0.0.1:%1/config").arg(closedPort());
    QString config;
    config += plistString(QStringLiteral("QSPortalType"), QStringLiteral("qs"));
    config += plistString(QStringLiteral("APP_NAME"), QStringLiteral("Corvala"));
    config += plistString(QStringLiteral("VENDOR_NAME"), QStringLiteral("Brightmoor"));
    config += plistString(QStringLiteral("AnalyticsProductName"), QStringLiteral("CORVALA"));
    config += plistString(QStringLiteral("BG_COLOR"), QStringLiteral("#F7F7F9"));
    config += plistString(QStringLiteral("AppleM1Support"), QStringLiteral("NO"));
    for (const QString &environment : {QStringLiteral("DEV1_URL"), QStringLiteral("QA1_URL"), QStringLiteral("BETA_URL"),
                                       QStringLiteral("PRODUCTION_URL")})
        config += plistString(environment, configUrl);
    for (const QString &suffix : {QStringLiteral("Dev1"), QStringLiteral("QA1"), QStringLiteral("Beta"), QStringLiteral("Prod")}) {
        config += plistString(QStringLiteral("kQSApplicationDataPath") + suffix, QStringLiteral("/AppData"));
        config += plistString(QStringLiteral("kQSInstallBinaryPath") + suffix, QStringLiteral("Corvala.app"));
    }
    config += plistString(QStringLiteral("kQSApplicationsDirectory"), root() + QStringLiteral("/Applications"));

    const QString plist = QStringLiteral(
                              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                              "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                              "<plist version=\"1.0\">\n<dict>\n%1%2%3%4"
                              "    <key>QSConfig</key>\n    <dict>\n%5    </dict>\n</dict>\n</plist>\n")
                              .arg(plistString(QStringLiteral("CFBundleIdentifier"), QString::fromLatin1(kBundleIdentifier)),
                                   plistString(QStringLiteral("CFBundleExecutable"), QStringLiteral("TinyInstaller")),
                                   plistString(QStringLiteral("CFBundleShortVersionString"), QStringLiteral("9.8.7")),
                                   plistString(QStringLiteral("QSEnv"), QStringLiteral("prod")), config);
    QFile info(contents + QStringLiteral("/Info.plist"));
    ok_ = ok_ && info.open(QIODevice::WriteOnly) && info.write(plist.toUtf8()) > 0;
}

QStringList InstallerSandbox::records() const
{
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return shelltest::recordsOf(QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n")));
}

QProcessEnvironment InstallerSandbox::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home());
    environment.insert(QStringLiteral("TMPDIR"), tmp());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), tmp() + QStringLiteral("/runtime"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return environment;
}

RunningInstaller::RunningInstaller(const InstallerSandbox &sandbox, const QStringList &arguments, const QString &program,
                                   const QProcessEnvironment &environment)
    : sandbox_(sandbox)
{
    process_.setProcessEnvironment(environment.isEmpty() ? sandbox.environment() : environment);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setReadChannel(QProcess::StandardError);  // waitForReadyRead wakes on console lines
    process_.start(program.isEmpty() ? sandbox.executable() : program, arguments);
    started_ = process_.waitForStarted(10000);
}

RunningInstaller::~RunningInstaller()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

void RunningInstaller::signal(int signalNumber)
{
    if (process_.state() == QProcess::Running)
        ::kill(pid_t(process_.processId()), signalNumber);
}

bool RunningInstaller::finish(int timeoutMs)
{
    const bool ended = process_.state() == QProcess::NotRunning || process_.waitForFinished(timeoutMs);
    readOutput(0);
    return ended;
}

void RunningInstaller::readOutput(int waitMs)
{
    if (waitMs > 0 && process_.state() == QProcess::Running)
        process_.waitForReadyRead(waitMs);
    console_ += process_.readAllStandardError();
}

QStringList RunningInstaller::consoleLines()
{
    readOutput(0);
    return QString::fromUtf8(console_).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool RunningInstaller::waitForConsoleLine(const QString &line, int timeoutMs)
{
    return waitForConsole([&line](const QStringList &lines) { return lines.contains(line); }, timeoutMs);
}

bool RunningInstaller::waitForConsole(const std::function<bool(const QStringList &)> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        readOutput(50);
        if (condition(consoleLines()))
            return true;
        if (process_.state() != QProcess::Running)
            return condition(consoleLines());
    }
    return false;
}

bool RunningInstaller::waitForRecord(const QString &prefix, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        const QStringList records = sandbox_.records();
        const qsizetype at = prefix.startsWith(QLatin1String("EVT:")) ? shelltest::indexOfEvent(records, prefix.mid(4), 0)
                                                                    : shelltest::indexOfRecord(records, prefix);
        if (at >= 0)
            return true;
        if (process_.state() != QProcess::Running)
            return false;
        readOutput(50);
    }
    return false;
}
