#include "telemetry/QSSystemInfo.h"

#include "platform/Console.h"
#include "platform/Host.h"
#include "telemetry/QSLogger.h"

#include <QMutex>
#include <QRegularExpression>

namespace {

// Process-wide caches. Each is a pure function of the machine, filled on first use.
struct Caches {
    QMutex mutex;
    QString osVersion;
    QString screenResolution;
    QString cpuName;
    QString macAddress;
};

Caches &caches()
{
    static Caches instance;
    return instance;
}

void reportFailure(const QString &message, const QSLogContext &context)
{
    platform::console(message);
    QSLogger::error(message, context);
}

QString firstCapture(const QString &text, const QString &pattern)
{
    const QRegularExpression expression(pattern, QRegularExpression::CaseInsensitiveOption);
    auto matches = expression.globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        const QString value = match.captured(match.lastCapturedIndex());
        if (!value.isEmpty())
            return value;
    }
    return {};
}

}  // namespace

const QStringList &QSSystemInfo::supportedLocales()
{
    static const QStringList locales = {
        QStringLiteral("cs-CZ"), QStringLiteral("da-DK"), QStringLiteral("de-DE"), QStringLiteral("el-GR"),
        QStringLiteral("en-US"), QStringLiteral("es-ES"), QStringLiteral("fi-FI"), QStringLiteral("fr-FR"),
        QStringLiteral("hu-HU"), QStringLiteral("it-IT"), QStringLiteral("ja-JP"), QStringLiteral("ko-KR"),
        QStringLiteral("nb-NO"), QStringLiteral("nl-NL"), QStringLiteral("pl-PL"), QStringLiteral("pt-BR"),
        QStringLiteral("ru-RU"), QStringLiteral("sk-SK"), QStringLiteral("sv-SE"), QStringLiteral("tr-TR"),
        QStringLiteral("zh-CN"), QStringLiteral("zh-TW"), QStringLiteral("he-IL"),
    };
    return locales;
}

QString QSSystemInfo::getOSVersion()
{
    {
        QMutexLocker lock(&caches().mutex);
        if (!caches().osVersion.isNull())
            return caches().osVersion;
        caches().osVersion = QStringLiteral("(MacOS)Unknown");
    }
    const auto version = platform::host().osVersion();
    if (!version) {
        reportFailure(QStringLiteral("OS Version error: %1").arg(QStringLiteral("the system version cannot be read")),
                      QS_LOG_CONTEXT("+[QSSystemInfo getOSVersion]"));
        QMutexLocker lock(&caches().mutex);
        return caches().osVersion;
    }
    const QString text = QStringLiteral("%1.%2.%3").arg(version->major).arg(version->minor).arg(version->patch);
    QMutexLocker lock(&caches().mutex);
    caches().osVersion = text;
    return text;
}

QString QSSystemInfo::getScreenResolution()
{
    QMutexLocker lock(&caches().mutex);
    if (caches().screenResolution.isNull()) {
        const auto size = platform::host().mainScreenSize();
        caches().screenResolution =
            size ? QStringLiteral("%1x%2").arg(size->width()).arg(size->height()) : QStringLiteral("0x0");
    }
    return caches().screenResolution;
}

QString QSSystemInfo::cpuNameFromReport(const QString &report)
{
    QString name = firstCapture(report, QStringLiteral("(Processor Name: )(.*)"));
    if (name.isEmpty())
        name = firstCapture(report, QStringLiteral("(Chip: )(.*)"));
    return name.isEmpty() ? QString() : name;
}

QString QSSystemInfo::getCPUName()
{
    {
        QMutexLocker lock(&caches().mutex);
        if (!caches().cpuName.isEmpty())
            return caches().cpuName;
    }
    const QString report = platform::host().hardwareReport();
    if (report.isEmpty())
        return {};
    const QString name = cpuNameFromReport(report);
    QMutexLocker lock(&caches().mutex);
    if (!name.isEmpty())
        caches().cpuName = name;
    return name;
}

QString QSSystemInfo::getCPUType()
{
    const QString type = platform::host().architectureDescription();
    return type.isEmpty() ? QStringLiteral("NA") : type;
}

QString QSSystemInfo::macAddressFromListing(const QString &listing)
{
    static const QRegularExpression address(QStringLiteral("(?:[a-z0-9]{2}[:]){5}[a-z0-9]{2}"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression zero(QStringLiteral("(?:[0]{2}[:]){5}[0]{2}"),
                                         QRegularExpression::CaseInsensitiveOption);
    auto matches = address.globalMatch(listing);
    while (matches.hasNext()) {
        const QString candidate = matches.next().captured(0);
        if (!zero.match(candidate).hasMatch())
            return candidate;
    }
    return {};
}

QString QSSystemInfo::getMacAddress()
{
    {
        QMutexLocker lock(&caches().mutex);
        if (!caches().macAddress.isNull())
            return caches().macAddress;
    }
    const QString listing = platform::host().interfaceListing();
    const QString found = listing.isEmpty() ? QString() : macAddressFromListing(listing);
    QMutexLocker lock(&caches().mutex);
    if (!found.isNull())
        caches().macAddress = found;
    return found;
}

QString QSSystemInfo::getFirstPathOf(const QString &text)
{
    const qsizetype hyphen = text.indexOf(QLatin1Char('-'));
    return hyphen > 0 ? text.left(hyphen) : text;
}

QString QSSystemInfo::getLanguage()
{
    const QString first = platform::host().preferredLanguages().value(0);
    if (first.contains(QLatin1String("zh-")))
        return first;
    return getFirstPathOf(first);
}

QString QSSystemInfo::getCountry()
{
    const QString country = platform::host().countryCode();
    return country.isNull() ? QStringLiteral("") : country;
}

QString QSSystemInfo::getLocale()
{
    const QString language = getLanguage();
    const QString country = getCountry();
    if (language.isEmpty() || country.isEmpty())
        return QStringLiteral("");
    return language + QLatin1Char('-') + country;
}

QString QSSystemInfo::configLocale(const QString &locale)
{
    const QStringList &supported = supportedLocales();
    if (supported.contains(locale))
        return locale;
    const QString firstPart = getFirstPathOf(locale);
    if (locale.contains(QLatin1String("zh-Hant")))
        return QStringLiteral("zh-TW");
    if (!firstPart.isEmpty()) {
        for (const QString &candidate : supported) {
            if (candidate.contains(firstPart, Qt::CaseSensitive))
                return candidate;
        }
    }
    return QStringLiteral("en-US");
}

bool QSSystemInfo::isAppleM1()
{
    const QString type = getCPUType();
    const QString name = getCPUName();
    // The record keeps the name of the check the configuration has always asked.
    QSLogContext context = QS_LOG_CONTEXT("+[QSPreinstallCheck isAppleM1]");
    context.file = QStringLiteral("QSPreinstallCheck");
    QSLogger::debug(QStringLiteral("CPU TYPE: %1, PROCESSOR TYPE: %2").arg(type, name.isNull() ? QStringLiteral("(null)") : name),
                    context);
    const bool knownName = name == QLatin1String("Apple M1") || name == QLatin1String("Apple M2");
    return knownName && type == QLatin1String("ARM64E");
}

bool QSSystemInfo::isRTL()
{
    return platform::host().isRightToLeft();
}

void QSSystemInfo::resetCachesForTesting()
{
    QMutexLocker lock(&caches().mutex);
    caches().osVersion = QString();
    caches().screenResolution = QString();
    caches().cpuName = QString();
    caches().macAddress = QString();
}
