#include "config/QSConfigProvider.h"

#include "archive/ArchiveLimits.h"
#include "archive/PlacementSettings.h"
#include "platform/Bundle.h"
#include "platform/Console.h"
#include "platform/Host.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>

namespace {

struct EnvironmentRow {
    const char *configUrlKey;
    const char *appDataPathKey;
    const char *binaryNameKey;
};

// "QSEnv" chooses the row, exactly and case-sensitively; anything else is production.
EnvironmentRow environmentRow()
{
    const QString env = QSConfigProvider::getPlist().value(QStringLiteral("QSEnv")).toString();
    if (env == QLatin1String("dev1"))
        return {"DEV1_URL", "kQSApplicationDataPathDev1", "kQSInstallBinaryPathDev1"};
    if (env == QLatin1String("qa1"))
        return {"QA1_URL", "kQSApplicationDataPathQA1", "kQSInstallBinaryPathQA1"};
    if (env == QLatin1String("beta"))
        return {"BETA_URL", "kQSApplicationDataPathBeta", "kQSInstallBinaryPathBeta"};
    return {"PRODUCTION_URL", "kQSApplicationDataPathProd", "kQSInstallBinaryPathProd"};
}

struct Caches {
    QMutex mutex;
    std::optional<QVariantMap> portalConfig;
    QString portalType;
};

Caches &caches()
{
    static Caches instance;
    return instance;
}

QString describe(const std::optional<QVariantMap> &map)
{
    if (!map)
        return QStringLiteral("(null)");
    return QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(*map)).toJson(QJsonDocument::Compact));
}

}  // namespace

QVariantMap QSConfigProvider::getPlist()
{
    return platform::Bundle::mainInfo();
}

std::optional<QVariantMap> QSConfigProvider::getPortalConfig()
{
    {
        QMutexLocker lock(&caches().mutex);
        if (caches().portalConfig)
            return caches().portalConfig;
    }
    const QVariant value = getPlist().value(QStringLiteral("QSConfig"));
    std::optional<QVariantMap> found;
    if (value.typeId() == QMetaType::QVariantMap)
        found = value.toMap();
    platform::console(QStringLiteral("QSConfigPlist: %1").arg(describe(found)));
    QMutexLocker lock(&caches().mutex);
    caches().portalConfig = found;
    return found;
}

QString QSConfigProvider::getStringFromPlist(const QString &key)
{
    const auto config = getPortalConfig();
    if (!config)
        return {};
    const auto it = config->constFind(key);
    if (it == config->constEnd())
        return {};
    // As stored: a boolean is not the text "YES", so <true/> does not switch on what "YES" does;
    // it reads as "1" or "0", as a stored number prints.
    switch (it->typeId()) {
    case QMetaType::QString:
        return it->toString();
    case QMetaType::Bool:
        return it->toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Double:
    case QMetaType::ULongLong:
    case QMetaType::LongLong:
        return it->toString();
    default:
        return {};  // dictionaries, lists and data are not texts
    }
}

QString QSConfigProvider::getPortalType()
{
    {
        QMutexLocker lock(&caches().mutex);
        if (!caches().portalType.isNull())
            return caches().portalType;
    }
    QString type = getStringFromPlist(QStringLiteral("QSPortalType"));
    if (type.isNull())
        type = QStringLiteral("qs");
    QMutexLocker lock(&caches().mutex);
    caches().portalType = type;
    return type;
}

QString QSConfigProvider::getUrlPlist(const QString &key)
{
    const QString value = getStringFromPlist(key);
    if (value.isNull())
        return {};
    // One pass, left to right: "&amp;amp;" becomes "&amp;".
    QString result;
    result.reserve(value.size());
    const QLatin1String entity("&amp;");
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = value.indexOf(entity, from);
        if (at < 0)
            break;
        result += QStringView(value).mid(from, at - from);
        result += QLatin1Char('&');
        from = at + entity.size();
    }
    result += QStringView(value).mid(from);
    return result;
}

QString QSConfigProvider::getConfigUrl()
{
    return getUrlPlist(QString::fromLatin1(environmentRow().configUrlKey));
}

QString QSConfigProvider::getEnvSpecificAppDataPath()
{
    return getUrlPlist(QString::fromLatin1(environmentRow().appDataPathKey));
}

QString QSConfigProvider::getEnvSpecificBinaryName()
{
    return getUrlPlist(QString::fromLatin1(environmentRow().binaryNameKey));
}

QString QSConfigProvider::getAction(const QString &command)
{
    const QString url = QStringLiteral("%1d://%2").arg(getPortalType(), command);
    platform::console(url);
    return QStringLiteral("%1d://%2").arg(getPortalType(), command);
}

QString QSConfigProvider::getApplicationsDirectory()
{
    const QString configured = getStringFromPlist(QStringLiteral("kQSApplicationsDirectory"));
    if (!configured.isEmpty())
        return configured;
    return platform::host().defaultApplicationsDirectory();
}

qint64 QSConfigProvider::getMaximumArchiveBytes()
{
    // Read as the placement helper reads it from its own copy of the bundle's settings.
    QString ignored;
    const auto settings = archives::PlacementSettings::fromInfo(getPlist(), platform::host().defaultApplicationsDirectory(), &ignored);
    return settings ? settings->maxArchiveBytes : archives::limits::kDefaultMaxArchiveBytes;
}

void QSConfigProvider::resetCachesForTesting()
{
    QMutexLocker lock(&caches().mutex);
    caches().portalConfig.reset();
    caches().portalType = QString();
}
