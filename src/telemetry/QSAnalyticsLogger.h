#pragma once
#include "telemetry/CoreGlobal.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

#include "config/QSConfigProvider.h"

// Uploads the run log with an HTTP PUT to "<base><ci>/tiny-<stamp>.log".
class QSAnalyticsLogger {
public:
    struct Response {
        QByteArray data;     // null when no data arrived
        int statusCode = 0;  // 0: no HTTP response
        std::optional<QSNetworkError> error;
    };
    using Completion = std::function<void(const Response &)>;

    // Returns after the request has finished and the completion has run (bounded wait).
    static void uploadTinyLogToS3(const QString &baseUrl, Completion completion);

    static QString jsonStringWithPrettyPrint(const QJsonObject &object, bool prettyPrint);

    QSAnalyticsLogger() = delete;
};
