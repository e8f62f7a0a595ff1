#include "platform/LinuxHost.h"

#include "platform/Bundle.h"
#include "platform/ZipExtractor.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

QString readSmallFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(1024 * 1024));
}

// The private temporary folder must be a real directory of ours with mode 0700: never follow a
// link or trust a folder someone else made at that name in a shared /tmp.
bool isPrivateDirectory(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 0777) == 0700;
}

}  // namespace

QString LinuxHost::homeDirectory() const
{
    return QDir::homePath();
}

QString LinuxHost::loginName() const
{
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd *result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result)
        return QString::fromLocal8Bit(result->pw_name);
    return qEnvironmentVariable("USER");
}

bool LinuxHost::isSuperUser() const
{
    return ::getuid() == 0;
}

std::optional<QStringList> LinuxHost::groupMembers(const QString &group) const
{
    std::vector<char> buffer(65536);
    struct group entry {};
    struct group *result = nullptr;
    if (::getgrnam_r(QFile::encodeName(group).constData(), &entry, buffer.data(), buffer.size(), &result) != 0
        || !result)
        return std::nullopt;
    QStringList members;
    for (char **member = result->gr_mem; member && *member; ++member)
        members << QString::fromLocal8Bit(*member);
    return members;
}

QStringList LinuxHost::administratorGroups() const
{
    return {QStringLiteral("admin"), QStringLiteral("sudo"), QStringLiteral("wheel")};
}

std::optional<OsVersion> LinuxHost::parseKernelRelease(const QString &release)
{
    // "6.1.0-18-amd64" -> 6.1.0; "5.15.90.1-microsoft-standard" -> 5.15.90
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const auto match = pattern.match(release);
    if (!match.hasMatch())
        return std::nullopt;
    OsVersion version;
    version.major = match.captured(1).toInt();
    version.minor = match.captured(2).toInt();
    version.patch = match.captured(3).toInt();
    return version;
}

std::optional<OsVersion> LinuxHost::osVersion() const
{
    utsname names {};
    if (::uname(&names) != 0)
        return std::nullopt;
    return parseKernelRelease(QString::fromLatin1(names.release));
}

QString LinuxHost::minimumOsVersion() const
{
    // Linux 4.19 is the oldest long-term kernel of the distributions we support (Debian 10);
    // the installer relies on nothing newer.
    return QStringLiteral("4.19");
}

QString LinuxHost::architectureDescription() const
{
    utsname names {};
    if (::uname(&names) != 0)
        return {};
    return QString::fromLatin1(names.machine);
}

QString LinuxHost::hardwareReportFromCpuInfo(const QString &cpuinfo)
{
    // Same lines as the macOS hardware report: "Processor Name: " on x86, "Chip: " where the
    // kernel only names the board or the CPU model (ARM).
    QString name;
    QString chip;
    for (const QString &line : cpuinfo.split(QLatin1Char('\n'))) {
        const QString key = line.section(QLatin1Char(':'), 0, 0).trimmed();
        const QString value = line.section(QLatin1Char(':'), 1).trimmed();
        if (value.isEmpty())
            continue;
        if (name.isEmpty() && key == QLatin1String("model name"))
            name = value;
        else if (chip.isEmpty() && (key == QLatin1String("Hardware") || key == QLatin1String("Model")))
            chip = value;
    }
    QString report = QStringLiteral("Hardware:\n\n    Hardware Overview:\n\n");
    if (!name.isEmpty())
        report += QStringLiteral("      Processor Name: %1\n").arg(name);
    if (!chip.isEmpty())
        report += QStringLiteral("      Chip: %1\n").arg(chip);
    return report;
}

QString LinuxHost::hardwareReport() const
{
    const QString cpuinfo = readSmallFile(QStringLiteral("/proc/cpuinfo"));
    if (cpuinfo.isEmpty())
        return {};
    return hardwareReportFromCpuInfo(cpuinfo);
}

QString LinuxHost::interfaceListing() const
{
    QDir net(QStringLiteral("/sys/class/net"));
    if (!net.exists())
        return {};
    QString listing;
    const QStringList names = net.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString &name : names) {
        const QString address = readSmallFile(net.filePath(name + QStringLiteral("/address"))).trimmed();
        const QString state = readSmallFile(net.filePath(name + QStringLiteral("/operstate"))).trimmed();
        listing += QStringLiteral("%1: state %2\n").arg(name, state.isEmpty() ? QStringLiteral("unknown") : state);
        if (!address.isEmpty())
            listing += QStringLiteral("\tether %1\n").arg(address);
    }
    return listing;
}

std::optional<QSize> LinuxHost::mainScreenSize() const
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return std::nullopt;
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    return screen->geometry().size();
}

FreeSpace LinuxHost::freeSpace(const QString &path) const
{
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(path).constData(), &info) != 0)
        return {false, 0, QString::fromLocal8Bit(std::strerror(errno))};
    return {true, quint64(info.f_bavail) * quint64(info.f_frsize), {}};
}

bool LinuxHost::hasDefaultRoute(const QString &routeTable, const std::function<bool(const QString &)> &isUp)
{
    constexpr unsigned kRouteUp = 0x1;
    const QStringList lines = routeTable.split(QLatin1Char('\n'));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList fields = lines[i].split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (fields.size() < 8)
            continue;
        bool ok = false;
        const unsigned flags = fields[3].toUInt(&ok, 16);
        if (ok && fields[1] == QLatin1String("00000000") && fields[7] == QLatin1String("00000000")
            && (flags & kRouteUp) && isUp(fields[0]))
            return true;
    }
    return false;
}

std::optional<unsigned> LinuxHost::reachabilityFlags() const
{
    QFile routes(QStringLiteral("/proc/net/route"));
    if (!routes.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString table = QString::fromLatin1(routes.readAll());
    const bool reachable = hasDefaultRoute(table, [](const QString &interface) {
        const QString state = readSmallFile(QStringLiteral("/sys/class/net/%1/operstate").arg(interface)).trimmed();
        // Virtual interfaces that carry traffic report "unknown".
        return state == QLatin1String("up") || state == QLatin1String("unknown");
    });
    return reachable ? unsigned(Reachable) : 0u;
}

QStringList LinuxHost::preferredLanguages() const
{
    QStringList languages = QLocale::system().uiLanguages();
    // uiLanguages() lists the bare language after the full tag ("de-DE", "de"); keep tags as given.
    return languages;
}

QString LinuxHost::countryCode() const
{
    const QLocale locale = QLocale::system();
    if (locale.territory() == QLocale::AnyTerritory)
        return {};
    return QLocale::territoryToCode(locale.territory());
}

bool LinuxHost::isRightToLeft() const
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QGuiApplication::layoutDirection() == Qt::RightToLeft;
    return QLocale::system().textDirection() == Qt::RightToLeft;
}

QString LinuxHost::defaultApplicationsDirectory() const
{
    return QStringLiteral("/opt");
}

QString LinuxHost::temporaryDirectory() const
{
    QMutexLocker lock(&tempMutex_);
    if (!tempDir_.isEmpty() && isPrivateDirectory(tempDir_))
        return tempDir_;
    const QString preferred = QDir(QDir::tempPath()).filePath(QStringLiteral("tiny-installer-%1").arg(::getuid()));
    const QByteArray encoded = QFile::encodeName(preferred);
    if (::mkdir(encoded.constData(), 0700) == 0 || isPrivateDirectory(preferred)) {
        ::chmod(encoded.constData(), 0700);
        if (isPrivateDirectory(preferred)) {
            tempDir_ = preferred;
            return tempDir_;
        }
    }
    // Someone else holds that name: take a fresh, unpredictable folder instead.
    QByteArray pattern = QFile::encodeName(QDir(QDir::tempPath()).filePath(QStringLiteral("tiny-installer-XXXXXX")));
    if (::mkdtemp(pattern.data()))
        tempDir_ = QFile::decodeName(pattern);
    return tempDir_;
}

QString LinuxHost::cachesDirectory() const
{
    return homeDirectory() + QStringLiteral("/.cache");
}

QString LinuxHost::platformWord(PlatformWord word) const
{
    switch (word) {
    case PlatformWord::RequestOs:
        return QStringLiteral("linux");
    case PlatformWord::AnalyticsOs:
        return QStringLiteral("Linux");
    case PlatformWord::PageOs:
        return QStringLiteral("linux");
    }
    return {};
}

bool LinuxHost::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

bool LinuxHost::launchApplication(const QString &bundlePath, const QStringList &arguments, QString *error)
{
    const auto info = Bundle::infoOfBundleAt(bundlePath);
    const QString executableName = info ? info->value(QStringLiteral("CFBundleExecutable")).toString() : QString();
    if (executableName.isEmpty() || executableName.contains(QLatin1Char('/'))) {
        if (error)
            *error = QStringLiteral("%1 names no executable (CFBundleExecutable)").arg(bundlePath);
        return false;
    }
    const QString executable = bundlePath + QStringLiteral("/Contents/MacOS/") + executableName;
    if (!QFileInfo(executable).isExecutable()) {
        if (error)
            *error = QStringLiteral("%1 is not an executable file").arg(executable);
        return false;
    }
    qint64 pid = 0;
    if (!QProcess::startDetached(executable, arguments, QDir::homePath(), &pid)) {
        if (error)
            *error = QStringLiteral("could not start %1").arg(executable);
        return false;
    }
    return true;
}

bool LinuxHost::extractArchive(const QString &archivePath, const QString &destination, QString *error,
                               const std::atomic<bool> *cancelled)
{
    const FreeSpace space = freeSpace(QFileInfo(destination).absolutePath());
    ZipExtractor extractor;
    if (space.ok)
        extractor.setSpaceLimit(space.bytes);
    extractor.setCancelFlag(cancelled);
    const bool ok = extractor.extract(archivePath, destination);
    if (!ok && error)
        *error = extractor.errorString();
    return ok;
}

}  // namespace platform
