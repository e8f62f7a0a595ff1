#include "platform/LinuxHost.h"

#include "platform/Bundle.h"
#include "platform/NetworkInterfaces.h"
#include "platform/PreferredLanguages.h"
#include "platform/PrivateDirectory.h"
#include "platform/InvokingPerson.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QVariant>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <mutex>
#include <optional>
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

}  // namespace

QString LinuxHost::homeDirectory() const
{
    return QDir::homePath();
}

QString LinuxHost::loginName() const
{
    // Asked for every record of the run log (to mask it out): the user database is read once per
    // user id, since a lookup may go to a directory service and the answer does not change.
    static std::mutex guard;
    static std::optional<std::pair<uid_t, QString>> known;
    const uid_t uid = ::getuid();
    const std::lock_guard lock(guard);
    if (known && known->first == uid)
        return known->second;
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd *result = nullptr;
    QString name;  // never $USER: anyone can set it, and the administrator gate reads this name
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &result) == 0 && result)
        name = QString::fromLocal8Bit(result->pw_name);
    if (!name.isEmpty())
        known.emplace(uid, name);  // a failed lookup is tried again next time
    return name;
}

bool LinuxHost::isSuperUser() const
{
    // What the process may do: root's rights, however it was started.
    return ::geteuid() == 0;
}

std::optional<QStringList> LinuxHost::groupMembers(const QString &group) const
{
    // A group with many members does not fit a small buffer: grow it until it does.
    std::vector<char> buffer(16384);
    struct group entry {};
    struct group *result = nullptr;
    int status = 0;
    while ((status = ::getgrnam_r(QFile::encodeName(group).constData(), &entry, buffer.data(), buffer.size(), &result))
               == ERANGE
           && buffer.size() < (std::size_t(64) << 20))
        buffer.resize(buffer.size() * 4);
    if (status != 0 || !result)
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
    const QString net = QStringLiteral("/sys/class/net");
    if (!QFileInfo(net).isDir())
        return {};
    // The identifier hashes the first address of this listing, so the most stable interface
    // comes first (see NetworkInterfaces::byStability).
    return NetworkInterfaces::listing(NetworkInterfaces::byStability(NetworkInterfaces::read(net)));
}

std::optional<QSize> LinuxHost::mainScreenSize() const
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return std::nullopt;
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    const QVariant desktopSize = screen->property(kDesktopPointSizeProperty);
    return desktopSize.isValid() ? desktopSize.toSize() : screen->geometry().size();
}

FreeSpace LinuxHost::freeSpace(const QString &path) const
{
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(path).constData(), &info) != 0)
        return {false, 0, QString::fromLocal8Bit(std::strerror(errno))};
    return {true, quint64(info.f_bavail) * quint64(info.f_frsize), {}};
}

std::optional<unsigned> LinuxHost::reachabilityFlags() const
{
    QFile ipv4(QStringLiteral("/proc/net/route"));
    QFile ipv6(QStringLiteral("/proc/net/ipv6_route"));
    const bool ipv4Read = ipv4.open(QIODevice::ReadOnly);
    const bool ipv6Read = ipv6.open(QIODevice::ReadOnly);  // absent when IPv6 is disabled
    if (!ipv4Read && !ipv6Read)
        return std::nullopt;
    const QList<NetworkInterface> interfaces = NetworkInterfaces::read();
    const bool reachable = NetworkInterfaces::hasDefaultRoute(
        ipv4Read ? QString::fromLatin1(ipv4.readAll()) : QString(),
        ipv6Read ? QString::fromLatin1(ipv6.readAll()) : QString(), [&interfaces](const QString &name) {
            return std::any_of(interfaces.begin(), interfaces.end(), [&name](const NetworkInterface &interface) {
                return interface.name == name && interface.up && !interface.loopback;
            });
        });
    return reachable ? unsigned(Reachable) : 0u;
}

QStringList LinuxHost::preferredLanguages() const
{
    return PreferredLanguages::fromUiLanguages(QLocale::system().uiLanguages());
}

QString LinuxHost::countryCode() const
{
    // Empty text, never null, for a locale without a territory ("C.UTF-8"): the configuration
    // request still sends the header.
    const QLocale locale = QLocale::system();
    if (locale.territory() == QLocale::AnyTerritory)
        return QStringLiteral("");
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
    // Never follow a link or trust a folder someone else made at that name in a shared /tmp.
    if (!tempDir_.isEmpty() && PrivateDirectory::isPrivate(tempDir_))
        return tempDir_;
    const QString preferred = QDir(QDir::tempPath()).filePath(QStringLiteral("tiny-installer-%1").arg(::getuid()));
    if (PrivateDirectory::ensure(preferred)) {
        tempDir_ = preferred;
        return tempDir_;
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
    // As root for someone else, the browser is theirs and runs as them, without root's environment.
    if (const auto person = InvokingPerson::current())
        return person->startDetached(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)}, nullptr);
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
    if (const auto person = InvokingPerson::current())
        return person->startDetached(executable, arguments, error);
    qint64 pid = 0;
    if (!QProcess::startDetached(executable, arguments, QDir::homePath(), &pid)) {
        if (error)
            *error = QStringLiteral("could not start %1").arg(executable);
        return false;
    }
    return true;
}

}  // namespace platform
