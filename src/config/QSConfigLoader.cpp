// Loading of the remote installer configuration (QSConfigProvider::loadConfigWithCompletion).

#include "config/QSConfig.h"
#include "config/QSConfigProvider.h"
#include "platform/Console.h"
#include "platform/Host.h"
#include "platform/NotificationCenter.h"
#include "telemetry/QSNotificationNames.h"
#include "telemetry/QSHttp.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSPortalProvider.h"
#include "telemetry/QSSystemInfo.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace {

// The document is a few kilobytes. 15 s without any progress (connecting included) means the
// service or the line is gone; 30 s in all is as long as anyone waits on the "Connecting" screen
// before the error screen offers a retry.
constexpr std::chrono::milliseconds kIdleTimeout{15'000};
constexpr std::chrono::milliseconds kDeadline{30'000};
// At most 4 MiB of the answer are read: far above any real document, and a broken or hostile
// server cannot fill the memory. A larger body counts as an unusable document.
constexpr qint64 kMaxDocumentBytes = qint64(4) << 20;

QString orNullText(const QString &text)
{
    return text.isNull() ? QStringLiteral("(null)") : text;
}

QString errorText(const std::optional<QSNetworkError> &error)
{
    if (!error)
        return QStringLiteral("(null)");
    return QStringLiteral("Error Code=%1 \"%2\"").arg(QString::number(error->code), error->description);
}

QString headerText(const QNetworkRequest &request)
{
    QStringList fields;
    for (const QByteArray &name : request.rawHeaderList())
        fields << QStringLiteral("%1: %2").arg(QString::fromUtf8(name), QString::fromUtf8(request.rawHeader(name)));
    return QStringLiteral("{%1}").arg(fields.join(QStringLiteral(", ")));
}

// A top-level string value of the document as a notification object; none when missing. An
// address that is not http or https is refused as none: a "file:" upload address would make the
// exit upload write a local file, a "file:" analytics address would too.
QVariant endpointOf(const QJsonObject &document, const QString &key, const QSLogContext &context)
{
    const QJsonValue value = document.value(key);
    if (!value.isString())
        return QVariant();
    const QString text = value.toString();
    if (!text.isEmpty() && !QSConfig::isWebAddress(QUrl(text))) {
        QSLogger::error(QStringLiteral("Ignoring \"%1\": not an http or https address: %2").arg(key, text), context);
        return QVariant();
    }
    return QVariant(text);
}

// Turns an answer into the completion's arguments, writing the records on the way.
void handleAnswer(const QSHttp::Result &answer, const QString &urlText, const QSLogContext &loadContext,
                  const QSConfigProvider::Completion &completion)
{
    platform::console(QStringLiteral("Request OK: %1").arg(errorText(answer.error)));
    if (answer.error) {
        QSLogger::debug(QStringLiteral("Request OK: errorCode: %1 errorDescription: %2 url:%3")
                            .arg(QString::number(answer.error->code), answer.error->description, urlText),
                        QS_LOG_CONTEXT("+[QSConfigProvider loadConfigWithCompletion:]"));
        completion(nullptr, answer.error);
        return;
    }

    // The HTTP status is not examined: whatever the status, the body decides.
    QString decodeError;
    QJsonObject document;
    if (answer.bodyTooLarge) {
        decodeError = QStringLiteral("the document is larger than %1 bytes").arg(kMaxDocumentBytes);
    } else if (auto decoded = QSConfig::decodeDocument(answer.data, &decodeError)) {
        document = *decoded;
    }
    if (!decodeError.isNull()) {
        platform::console(QStringLiteral("Error is %1").arg(decodeError));
        QSLogger::error(QStringLiteral("Load installer configuration failed %1").arg(decodeError),
                        QS_LOG_CONTEXT("+[QSConfigProvider loadConfigWithCompletion:]"));
        completion(nullptr, std::nullopt);
        return;
    }

    auto config = std::make_shared<const QSConfig>(document);
    if (!config->isValid()) {
        QSLogger::error(QStringLiteral("Corrupt download URL on config. Config:  %1").arg(config->description()),
                        QS_LOG_CONTEXT("+[QSConfigProvider loadConfigWithCompletion:]"));
        completion(nullptr, std::nullopt);
        return;
    }
    auto &center = platform::NotificationCenter::defaultCenter();
    const QVariant analyticsUrl = endpointOf(document, QStringLiteral("analyticsUrl"), loadContext);
    center.post(QSNotificationNames::kChangeAnalyticsUrl, analyticsUrl);
    center.post(QSNotificationNames::kChangeLogUploadUrl, endpointOf(document, QStringLiteral("logUploadUrl"), loadContext));
    const QString analytics = orNullText(analyticsUrl.toString());
    platform::console(QStringLiteral("Analytics URL: %1").arg(analytics));
    QSLogger::debug(QStringLiteral("Analytics URL: %1").arg(analytics), loadContext);
    completion(std::move(config), std::nullopt);
}

}  // namespace

void QSConfigProvider::loadConfigWithCompletion(Completion completion)
{
    if (!completion)
        return;
    const QString urlText = getConfigUrl();
    platform::console(QStringLiteral("URL: %1").arg(orNullText(urlText)));
    const QSLogContext context = QS_LOG_CONTEXT("+[QSConfigProvider loadConfigWithCompletion:]");
    QSLogger::debug(QStringLiteral("Using config URL: %1").arg(orNullText(urlText)), context);

    QNetworkRequest request{QUrl(urlText)};
    QSHttp::setHeader(request, "appName", getStringFromPlist(QStringLiteral("AnalyticsProductName")));
    QSHttp::setHeader(request, "ci", QSPortalProvider::getCi());
    QSHttp::setHeader(request, "os", platform::host().platformWord(platform::PlatformWord::RequestOs));
    QSHttp::setHeader(request, "osVer", QSSystemInfo::getOSVersion());
    QSHttp::setHeader(request, "country", QSSystemInfo::getCountry());
    QSHttp::setHeader(request, "locale", QSSystemInfo::getLocale());
    platform::console(QStringLiteral("GET request header %1").arg(headerText(request)));

    // The answer arrives on the main thread, so the records, the endpoint notifications and the
    // completion all run there, once, after this call has returned.
    QSHttp::start(request, "GET", {}, {{kIdleTimeout, kDeadline}, kMaxDocumentBytes},
                  [urlText, context, completion = std::move(completion)](const QSHttp::Result &answer) {
                      handleAnswer(answer, urlText, context, completion);
                  });
}
