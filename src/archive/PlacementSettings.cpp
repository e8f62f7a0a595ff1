#include "archive/PlacementSettings.h"

#include "archive/ArchiveLimits.h"
#include "platform/DesktopEntry.h"

#include <QDir>

namespace archives {
namespace {

// "QSEnv" picks the bundle name exactly and case-sensitively; anything else is production.
QString bundleNameKey(const QString &environment)
{
    if (environment == QLatin1String("dev1"))
        return QStringLiteral("kQSInstallBinaryPathDev1");
    if (environment == QLatin1String("qa1"))
        return QStringLiteral("kQSInstallBinaryPathQA1");
    if (environment == QLatin1String("beta"))
        return QStringLiteral("kQSInstallBinaryPathBeta");
    return QStringLiteral("kQSInstallBinaryPathProd");
}

}  // namespace

bool PlacementSettings::isPlainName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

std::optional<PlacementSettings> PlacementSettings::fromInfo(const QVariantMap &info,
                                                             const QString &defaultApplications, QString *error)
{
    const QVariantMap config = info.value(QStringLiteral("QSConfig")).toMap();
    PlacementSettings settings;
    settings.applicationsDirectory = config.value(QStringLiteral("kQSApplicationsDirectory")).toString();
    if (settings.applicationsDirectory.isEmpty())
        settings.applicationsDirectory = defaultApplications;
    // Bundle names may be written with "&amp;" like every other setting of the environment rows.
    settings.bundleName = config.value(bundleNameKey(info.value(QStringLiteral("QSEnv")).toString()))
                              .toString()
                              .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    settings.archivePublicKey = config.value(QStringLiteral("kQSArchivePublicKey")).toString().trimmed();
    settings.productName = config.value(QStringLiteral("APP_NAME")).toString();
    settings.productBundleIdentifier = config.value(QStringLiteral("kQSProductBundleIdentifier")).toString().trimmed();
    // The system's menu folder unless the bundle names another ("kQSApplicationsMenuDirectory").
    settings.menuFolder = config.value(QStringLiteral("kQSApplicationsMenuDirectory")).toString();
    if (settings.menuFolder.isEmpty())
        settings.menuFolder = platform::DesktopEntry::systemFolder();

    // A number or a decimal text; anything else, zero or negative keeps the default.
    bool numeric = false;
    const qint64 maximum = config.value(QStringLiteral("kQSMaximumArchiveBytes")).toString().trimmed().toLongLong(&numeric);
    settings.maxArchiveBytes = numeric && maximum > 0 ? maximum : limits::kDefaultMaxArchiveBytes;

    if (!QDir::isAbsolutePath(settings.menuFolder)) {
        *error = QStringLiteral("the menu folder \"%1\" is not an absolute path").arg(settings.menuFolder);
        return std::nullopt;
    }
    if (!QDir::isAbsolutePath(settings.applicationsDirectory)) {
        *error = QStringLiteral("the applications folder \"%1\" is not an absolute path").arg(settings.applicationsDirectory);
        return std::nullopt;
    }
    settings.applicationsDirectory = QDir::cleanPath(settings.applicationsDirectory);
    if (!isPlainName(settings.bundleName)) {
        *error = QStringLiteral("the bundle name \"%1\" is not one name inside a folder").arg(settings.bundleName);
        return std::nullopt;
    }
    return settings;
}

}  // namespace archives
