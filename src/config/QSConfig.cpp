#include "config/QSConfig.h"

#include "config/QSConfigProvider.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSSystemInfo.h"

#include <QJsonDocument>
#include <QUrl>

#include <cmath>
#include <limits>

namespace {

QString orNullText(const QString &text)
{
    return text.isNull() ? QStringLiteral("(null)") : text;
}

// A text value; null when missing or not a string.
QString textOf(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QString();
}

// A build number as written: a string, or a number given without quotes; empty counts as missing.
QString buildNumberOf(const QJsonObject &entry)
{
    const QJsonValue value = entry.value(QStringLiteral("latestBuildMac"));
    QString text;
    if (value.isString())
        text = value.toString();
    else if (value.isDouble() && std::isfinite(value.toDouble()))
        text = QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    return text.isEmpty() ? QString() : text;
}

// Like a leading whole number read from text: blanks, an optional sign, digits; saturates.
qint64 leadingWholeNumber(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        negative = text.at(i++) == QLatin1Char('-');
    qint64 number = 0;
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    for (; i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'); ++i) {
        const int digit = text.at(i).unicode() - '0';
        number = number > (kMax - digit) / 10 ? kMax : number * 10 + digit;
    }
    return negative ? -number : number;
}

}  // namespace

QSConfig::QSConfig(const QJsonObject &document)
{
    // Only web addresses; the loader records the refusal of any other kind.
    analyticsURL = textOf(document, QStringLiteral("analyticsUrl"));
    if (!analyticsURL.isEmpty() && !isWebAddress(QUrl(analyticsURL)))
        analyticsURL = QString();
    logUploadUrl = textOf(document, QStringLiteral("logUploadUrl"));
    if (!logUploadUrl.isEmpty() && !isWebAddress(QUrl(logUploadUrl)))
        logUploadUrl = QString();
    appName = QStringLiteral("Corvala");

    const QJsonValue config = document.value(QStringLiteral("config"));
    if (!config.isArray()) {
        problem = config.isUndefined() ? QStringLiteral("the document has no \"config\"")
                                       : QStringLiteral("\"config\" is not an array");
        return;
    }
    configList = config.toArray();
    for (const QJsonValue &entry : std::as_const(configList)) {
        if (!entry.isObject()) {
            // A document with stray values in its product list is not one we understand.
            problem = QStringLiteral("\"config\" is not an array of objects");
            configList = {};
            return;
        }
    }
    bool matched = false;
    for (const QJsonValue &entry : std::as_const(configList)) {
        const QJsonObject object = entry.toObject();
        if (textOf(object, QStringLiteral("appName")) != appName)
            continue;
        matched = true;
        parseEntry(object);  // every matching entry in full: the last one wins
    }
    if (!matched)
        problem = QStringLiteral("no entry of \"config\" is for %1").arg(appName);
}

void QSConfig::parseEntry(const QJsonObject &entry)
{
    problem = QString();
    const QString m1Support = QSConfigProvider::getStringFromPlist(QStringLiteral("AppleM1Support"));
    QSLogger::debug(QStringLiteral("Apple M1 support: %1").arg(orNullText(m1Support)),
                    QS_LOG_CONTEXT("-[QSConfig initWithJSONObject:]"));
    QString url;
    if (m1Support == QLatin1String("YES") && QSSystemInfo::isAppleM1()) {
        url = textOf(entry, QStringLiteral("latestBuildMacARMUrl"));
        latestMacSignature = textOf(entry, QStringLiteral("latestBuildMacARMSignature"));
        QSLogger::debug(QStringLiteral("Using URL(ARM64): %1").arg(orNullText(url)),
                        QS_LOG_CONTEXT("-[QSConfig initWithJSONObject:]"));
    } else {
        url = textOf(entry, QStringLiteral("latestBuildMacUrl"));
        latestMacSignature = textOf(entry, QStringLiteral("latestBuildMacSignature"));
        QSLogger::debug(QStringLiteral("Using URL(x64): %1").arg(orNullText(url)),
                        QS_LOG_CONTEXT("-[QSConfig initWithJSONObject:]"));
    }
    latestMacURL = isWebAddress(url) ? url : QString();
    if (latestMacURL.isNull())
        problem = url.isNull() ? QStringLiteral("the chosen entry has no download URL")
                               : QStringLiteral("the download URL is not an http or https address");

    lastBuildNumberMac = buildNumberOf(entry);
    if (lastBuildNumberMac.isNull() && problem.isNull())
        problem = QStringLiteral("the chosen entry has no build number (\"latestBuildMac\")");

    downloadRetryLimit = retryLimitFrom(entry.value(QStringLiteral("downloadRetryLimit")));

    // The page set of the user's configuration locale, matched exactly; the first one counts.
    screens = {};
    const QString locale = QSSystemInfo::configLocale(QSSystemInfo::getLocale());
    const QJsonArray sets = entry.value(QStringLiteral("screens")).toArray();
    for (const QJsonValue &set : sets) {
        const QJsonObject object = set.toObject();
        if (textOf(object, QStringLiteral("locale")) != locale)
            continue;
        for (const QJsonValue &page : object.value(QStringLiteral("content")).toArray()) {
            if (page.isObject())  // the pages are read as objects; anything else is dropped
                screens.append(page);
        }
        break;
    }
    infoScreensCount = quint64(screens.size());

    installCommand = textOf(entry, QStringLiteral("macInstallCommand"));
}

bool QSConfig::isWebAddress(const QString &text)
{
    return isWebAddress(QUrl(text, QUrl::StrictMode));
}

bool QSConfig::isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

std::optional<QJsonObject> QSConfig::decodeDocument(const QByteArray &bytes, QString *error)
{
    QJsonParseError parseError{};
    const QJsonDocument decoded = QJsonDocument::fromJson(bytes, &parseError);
    QString reason;
    if (parseError.error != QJsonParseError::NoError)
        reason = QStringLiteral("%1 at offset %2").arg(parseError.errorString(), QString::number(parseError.offset));
    else if (!decoded.isObject())
        reason = QStringLiteral("the top level of the document is not an object");
    else
        return decoded.object();
    if (error)
        *error = reason;
    return std::nullopt;
}

quint64 QSConfig::retryLimitFrom(const QJsonValue &value)
{
    qint64 limit = 0;
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (std::isfinite(number))
            limit = number >= 9.2e18 ? std::numeric_limits<qint64>::max() : qint64(std::trunc(std::max(number, -1.0)));
    } else if (value.isString()) {
        limit = leadingWholeNumber(value.toString());
    }
    // Always at least one attempt; a negative count cannot mean anything else.
    return limit <= 0 ? 1 : quint64(limit);
}

QString QSConfig::description() const
{
    return QStringLiteral("<QSConfig latestMacURL: %1, lastBuildNumberMac: %2, downloadRetryLimit: %3, "
                          "infoScreensCount: %4, appName: %5, analyticsURL: %6, logUploadUrl: %7, "
                          "installCommand: %8, config entries: %9, problem: %10>")
        // One call fills every marker, so a value holding "%2" (an escaped URL) stays as it is.
        .arg(orNullText(latestMacURL), orNullText(lastBuildNumberMac), QString::number(downloadRetryLimit),
             QString::number(infoScreensCount), orNullText(appName), orNullText(analyticsURL),
             orNullText(logUploadUrl), orNullText(installCommand), QString::number(configList.size()),
             orNullText(problem));
}
