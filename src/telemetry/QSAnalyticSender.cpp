#include "telemetry/QSAnalyticSender.h"

#include "config/QSConfigProvider.h"
#include "platform/Bundle.h"
#include "platform/Console.h"
#include "platform/Host.h"
#include "platform/NotificationCenter.h"
#include "telemetry/QSNotificationNames.h"
#include "telemetry/QSAnalyticsLogger.h"
#include "telemetry/QSHttp.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSPortalProvider.h"
#include "telemetry/QSSystemInfo.h"
#include "telemetry/QSTimeFormat.h"

#include <charconv>
#include <cmath>

namespace {

// A missing setting gives an empty text, so every event carries all six default fields.
QString orEmpty(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

}  // namespace

QJsonObject QSAnalyticSender::defaultData()
{
    return QJsonObject{
        {QStringLiteral("APP"), orEmpty(QSConfigProvider::getStringFromPlist(QStringLiteral("AnalyticsProductName")))},
        {QStringLiteral("Ver"), orEmpty(platform::Bundle::shortVersion())},
        {QStringLiteral("OS"), platform::host().platformWord(platform::PlatformWord::AnalyticsOs)},
        {QStringLiteral("OSVer"), orEmpty(QSSystemInfo::getOSVersion())},
        {QStringLiteral("CC"), orEmpty(QSSystemInfo::getCountry())},
        {QStringLiteral("L"), orEmpty(QSSystemInfo::getLocale())},
    };
}

QString QSAnalyticSender::getMessage(const QString &eventName, const QJsonObject &data)
{
    const QString time = QSTimeFormat::isoWithOffset();
    const QString ci = QSPortalProvider::getCi();
    QJsonObject event = defaultData();
    for (auto it = data.begin(); it != data.end(); ++it)
        event.insert(it.key(), it.value());  // the caller's fields win over the defaults
    event.insert(QStringLiteral("EVT"), eventName);  // and the event's name over both
    const QString json = QSAnalyticsLogger::jsonStringWithPrettyPrint(event, false);
    return time + QStringLiteral(" ci=") + (ci.isNull() ? QStringLiteral("(null)") : ci) + QLatin1Char(' ') + json;
}

void QSAnalyticSender::sendEvent(const QString &eventName, const QJsonObject &data)
{
    const QString line = getMessage(eventName, data);
    platform::NotificationCenter::defaultCenter().post(QSNotificationNames::kLogAnalytics, QVariant(line));
    QSLogger::logEvent(line, QS_LOG_CONTEXT("+[QSAnalyticSender sendEvent:withData:]"));
}

void QSAnalyticSender::sendAll(const QStringList &eventLines, const QUrl &url)
{
    send(eventLines.join(QStringLiteral("\r\n")), url);
}

void QSAnalyticSender::send(const QString &body, const QUrl &url)
{
    QNetworkRequest request(url);
    QSHttp::setHeader(request, "Content-Type", QStringLiteral("application/x-www-form-urlencoded"));
    // The lines go out exactly as they are, not form-encoded, whatever the content type says.
    const QSHttp::Result result = QSHttp::run(request, "POST", body.toUtf8(), {{kIdleTimeout, kDeadline}, kMaxAnswerBytes});
    if (result.error) {
        // Nothing is retried or kept: the lines stay in the run log only.
        const QString reason = QStringLiteral("%1 (code %2, url: %3)")
                                   .arg(result.error->description, QString::number(result.error->code),
                                        url.toString());
        platform::console(reason);
        QSLogger::error(QStringLiteral("Analytics send error %1").arg(reason),
                        QS_LOG_CONTEXT("+[QSAnalyticSender send:url:]"));
    }
    platform::console(QStringLiteral("ANALYTICS: %1").arg(body));
}

QJsonValue QSAnalyticSender::singlePrecision(float value)
{
    if (!std::isfinite(value))
        return QJsonValue(QJsonValue::Null);  // JSON has no text for these
    // The shortest text that reads back as this float, then the double of that text: the JSON
    // writer prints it as 1.2345679, not as the widened 1.2345678806304932.
    // Both conversions ignore the C locale, so a decimal comma can never creep in.
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value);
    double widened = 0;
    std::from_chars(text, written.ptr, widened);
    return QJsonValue(widened);
}
