#include "engine/QSPreinstallCheck.h"

#include "config/QSConfigProvider.h"
#include "platform/Bundle.h"
#include "platform/Host.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSSystemInfo.h"

#include <QFileInfo>
#include <QStringList>

namespace {

constexpr quint64 kRequiredFreeBytes = quint64(1) << 30;  // 1 GiB; exactly 1 GiB is not enough

}  // namespace

bool QSPreinstallCheck::hasInternetConnection()
{
    // Reachable (2) set and ConnectionRequired (4) clear: a route that works without first
    // dialling or establishing a connection. No host is contacted.
    const std::optional<unsigned> flags = platform::host().reachabilityFlags();
    if (!flags)
        return false;
    const unsigned mask = unsigned(platform::Reachable) | unsigned(platform::ConnectionRequired);
    return (*flags & mask) == unsigned(platform::Reachable);
}

bool QSPreinstallCheck::hasEnoughSpace()
{
    const platform::FreeSpace space = platform::host().freeSpace(QStringLiteral("/"));
    if (!space.ok) {
        // Not knowing counts as not enough: the user sees the no-space alert rather than a
        // download that fails half-way.
        // The record names the check's class, as the isAppleM1 record does, not our file.
        QSLogContext context = QS_LOG_CONTEXT("+[QSPreinstallCheck hasEnoughSpace]");
        context.file = QStringLiteral("QSPreinstallCheck");
        QSLogger::error(QStringLiteral("Error: %1").arg(space.error), context);
        return false;
    }
    return space.bytes > kRequiredFreeBytes;
}

bool QSPreinstallCheck::versionAtLeast(const QString &current, const QString &required)
{
    const QStringList currentParts = current.split(QLatin1Char('.'));
    const QStringList requiredParts = required.split(QLatin1Char('.'));
    // Also covers "(MacOS)Unknown", the text given when the version cannot be read.
    if (currentParts.size() < 2)
        return false;
    const qsizetype count = std::max(currentParts.size(), requiredParts.size());
    for (qsizetype i = 0; i < count; ++i) {
        // A part that is missing or not a number counts as 0.
        const int have = currentParts.value(i).toInt();
        const int need = requiredParts.value(i).toInt();
        if (have < need)
            return false;
        if (have > need)
            return true;
    }
    return true;
}

bool QSPreinstallCheck::osVersionSupported()
{
    return versionAtLeast(QSSystemInfo::getOSVersion(), platform::host().minimumOsVersion());
}

QString QSPreinstallCheck::currentMirolanVersion()
{
    const QString binaryName = QSConfigProvider::getEnvSpecificBinaryName();
    if (binaryName.isEmpty())
        return {};  // without a product name there is nothing to look for (never the folder itself)
    const QString bundlePath = QStringLiteral("%1/%2").arg(QSConfigProvider::getApplicationsDirectory(), binaryName);
    if (!QFileInfo::exists(bundlePath))
        return {};
    const std::optional<QVariantMap> info = platform::Bundle::infoOfBundleAt(bundlePath);
    if (!info)
        return {};
    const QVariant version = info->value(QStringLiteral("CFBundleShortVersionString"));
    if (version.typeId() != QMetaType::QString)
        return {};
    const QString text = version.toString();
    // A bundle without a usable version text counts as not installed.
    return text.isEmpty() ? QString() : text;
}

bool QSPreinstallCheck::isAppleM1()
{
    return QSSystemInfo::isAppleM1();
}

bool QSPrivileges::hasAdminPrivileges()
{
    platform::Host &host = platform::host();
    if (host.isSuperUser())
        return true;
    const QString user = host.loginName();
    if (user.isEmpty())
        return false;
    // Only a group's explicit member list counts, not the user's primary group.
    for (const QString &group : host.administratorGroups()) {
        const std::optional<QStringList> members = host.groupMembers(group);
        if (members && members->contains(user, Qt::CaseSensitive))
            return true;
    }
    return false;
}
