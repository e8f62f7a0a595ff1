#pragma once
#include "telemetry/CoreGlobal.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <chrono>
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

    // Time-outs of the upload. It runs while the installer quits, so it must never hold the
    // process for long: 10 s without any progress ends it, and so does 20 s in all, which still
    // carries a log of a few megabytes over a slow line.
    static constexpr std::chrono::milliseconds kIdleTimeout{10'000};
    static constexpr std::chrono::milliseconds kDeadline{20'000};
    // The answer only tells whether the server took the request: its first 64 KiB are kept, the
    // rest is never read, so no server can fill the memory or hold up the end of the run.
    static constexpr qint64 kMaxAnswerBytes = 64 * 1024;

    // Returns after the request has finished and the completion has run (bounded wait). The
    // completion runs on the calling thread. Nothing happens without a completion.
    static void uploadTinyLogToS3(const QString &baseUrl, Completion completion);

    // The object as JSON text; compact unless prettyPrint.
    static QString jsonStringWithPrettyPrint(const QJsonObject &object, bool prettyPrint);

    QSAnalyticsLogger() = delete;
};
