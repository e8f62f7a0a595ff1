// The built installer as a process: a copy of the bundle with a test Info.plist (configuration
// address on a closed port), HOME and TMPDIR in a scratch folder. Start, later instances handing
// over command URLs, the termination signals, and what `cmake --install` lays out.

#include "ShellTestSupport.h"
#include "TestEnv.h"

#include "shell/ShellNames.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

const QString kDebug = u"DEBUG "_s;
const QStringList kAddresses{u"qsd://crashInfo"_s, u"qsd://innerCrashInfo"_s, u"qsd://privacyPolicy"_s,
                             u"qsd://licenseAgreement"_s};

// Info.plist entries: the test information dictionary holds only texts and dictionaries.
QString plistEntries(const QVariantMap &map)
{
    QString text;
    for (auto it = map.begin(); it != map.end(); ++it) {
        const bool dict = it.value().typeId() == QMetaType::QVariantMap;
        text += u"<key>%1</key>"_s.arg(it.key().toHtmlEscaped())
                + (dict ? u"<dict>%1</dict>\n"_s.arg(plistEntries(it.value().toMap()))
                        : u"<string>%1</string>\n"_s.arg(it.value().toString().toHtmlEscaped()));
    }
    return text;
}

struct Sandbox {
    Sandbox()
    {
        QDir().mkpath(path(u"TinyInstaller.app/Contents/MacOS"_s));
        QFile plist(path(u"TinyInstaller.app/Contents/Info.plist"_s));
        ok = QDir().mkpath(path(u"home"_s)) && QDir().mkpath(path(u"tmp"_s))
             && QFile::copy(QStringLiteral(TI_INSTALLER_EXECUTABLE), executable()) && plist.open(QIODevice::WriteOnly)
             && plist.write((u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n"_s
                             + plistEntries(TestEnv::defaultInfo()) + u"</dict></plist>\n"_s)
                                .toUtf8())
                    > 0;
    }
    QString path(const QString &relative) const { return dir.filePath(relative); }
    QString executable() const { return path(u"TinyInstaller.app/Contents/MacOS/TinyInstaller"_s); }
    QStringList records() const { return shelltest::recordsIn(path(u"home/AppData/Prod/Logs/tiny.log"_s)); }

    // Starts program (the bundle's executable unless given) with its console going to a file.
    std::unique_ptr<QProcess> start(const QStringList &arguments, const QString &console = u"other.txt"_s,
                                    const QString &program = QString()) const
    {
        auto process = std::make_unique<QProcess>();  // its destructor kills what still runs
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, path(u"home"_s));
        environment.insert(u"TMPDIR"_s, path(u"tmp"_s));
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        process->setProcessEnvironment(environment);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(path(console));
        process->start(program.isEmpty() ? executable() : program, arguments);
        return process;
    }
    // The console's getAction lines: the addresses a command URL was compared with.
    QStringList getActionLines(const QString &console) const
    {
        QFile file(path(console));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll()).split(u'\n').filter(QRegularExpression(u"^qsd://"_s));
    }

    QTemporaryDir dir;
    bool ok = false;
};

// Whether the process ends (after the signal, when given) with status 0 in time.
bool endsWithZero(QProcess &process, int signal = 0)
{
    if (signal && process.waitForStarted())
        ::kill(pid_t(process.processId()), signal);
    return (process.state() == QProcess::NotRunning || process.waitForFinished(15000))
           && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

class ShellProcess : public ::testing::TestWithParam<int> {};

}  // namespace

// The first instance handles its own URL once start-up is done; later ones hand theirs over and
// leave with status 0 before writing any record; then a termination signal ends the run in order.
TEST_P(ShellProcess, LaterInstancesHandOverAndASignalEndsTheRunInOrder)
{
    Sandbox sandbox;
    ASSERT_TRUE(sandbox.ok);
    const QString ownCache = sandbox.path(u"home/.cache/"_s + TestEnv::defaultInfo().value(u"CFBundleIdentifier"_s).toString());
    const QString sharedCache = sandbox.path(u"home/.cache/"_s + shell::kSoftwareInstallerCacheId);
    ASSERT_TRUE(QDir().mkpath(ownCache + u"/nested"_s));  // the shared one does not exist
    const auto first = sandbox.start({u"launched-from-drive"_s, u"qsd://innerCrashInfo"_s}, u"first.txt"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shelltest::inOrder(sandbox.records(), {u"EVT:Start"_s}); }, 15000));
    QStringList compared = kAddresses.mid(0, 2);  // each address in order up to the match
    const auto firstCompared = [&] {
        return QTest::qWaitFor([&] { return sandbox.getActionLines(u"first.txt"_s) == compared; }, 5000);
    };
    EXPECT_TRUE(firstCompared()) << sandbox.getActionLines(u"first.txt"_s).join(u' ').toStdString();

    // Near misses and another scheme are compared with all four and do nothing; without a URL a
    // later instance only asks the first to come forward.
    const std::vector<std::pair<QString, int>> handed{{u"qsd://privacyPolicy"_s, 3},
                                                      {u"qsd://licenseAgreement/"_s, 4},
                                                      {u"QSD://licenseAgreement"_s, 4},
                                                      {u"https://www.brightmoor.example/"_s, 4},
                                                      {QString(), 0}};
    for (const auto &[url, addresses] : handed) {
        SCOPED_TRACE(url.toStdString());
        const qsizetype recordsBefore = sandbox.records().size();
        EXPECT_TRUE(endsWithZero(*sandbox.start(url.isNull() ? QStringList() : QStringList{url})));
        compared += kAddresses.mid(0, addresses);
        EXPECT_TRUE(firstCompared()) << sandbox.getActionLines(u"first.txt"_s).join(u' ').toStdString();
        // The later one wrote no record (the first notes the language of the privacy page).
        QStringList added = sandbox.records().mid(recordsBefore);
        added.removeIf([](const QString &record) { return record.contains(u"Language: "_s); });
        EXPECT_TRUE(added.isEmpty()) << added.join(u'\n').toStdString();
    }
    QTest::qWait(200);
    EXPECT_EQ(sandbox.getActionLines(u"first.txt"_s), compared);

    EXPECT_TRUE(endsWithZero(*first, GetParam()));
    const QStringList records = sandbox.records();
    EXPECT_TRUE(shelltest::inOrder(records, {u"DEBUG Removing app cache from %1 ."_s.arg(ownCache),
                                             u"DEBUG Successfully removed app cache from %1 ."_s.arg(ownCache),
                                             u"DEBUG Removing app cache from %1 ."_s.arg(sharedCache),
                                             u"DEBUG Failed to remove app cache from %1 ."_s.arg(sharedCache),
                                             u"ERROR Error: %1"_s.arg(sharedCache), kDebug + shell::kStartedFromAdmin,
                                             u"EVT:Start"_s, u"EVT:End"_s, kDebug + shell::kInstallerEnd,
                                             kDebug + shell::kLogUploadUrlNotAvailable}));
    EXPECT_EQ(records.filter(shell::kInstallerEnd).size(), 1);
    EXPECT_EQ(records.last(), kDebug + shell::kLogUploadUrlNotAvailable);
    EXPECT_FALSE(QFileInfo::exists(ownCache));
}

INSTANTIATE_TEST_SUITE_P(Shell, ShellProcess, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int> &row) { return std::string(sigabbrev_np(row.param)); });

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

    // The launcher starts the installed bundle and passes its arguments on, as the desktop would.
    Sandbox sandbox;
    const auto installer = sandbox.start({u"qsd://crashInfo"_s}, u"launched.txt"_s, launcher);
    EXPECT_TRUE(QTest::qWaitFor([&] { return sandbox.getActionLines(u"launched.txt"_s) == kAddresses.mid(0, 1); }, 15000));
    EXPECT_TRUE(endsWithZero(*installer, SIGTERM));
}
