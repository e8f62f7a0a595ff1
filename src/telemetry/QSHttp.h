#pragma once
#include "telemetry/CoreGlobal.h"

#include "telemetry/QSNetworkError.h"

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QPair>

#include <chrono>
#include <functional>
#include <optional>

// Bounded HTTP requests. Qt sets no time-out of its own, so every request made here carries two:
// an idle time-out (nothing sent or received for that long, connecting included) and an overall
// deadline. A reply body can be capped. Nothing here writes to the run log; callers decide what to
// record.
class QSHttp {
public:
    struct Timeouts {
        std::chrono::milliseconds idle;
        std::chrono::milliseconds deadline;
    };

    struct Options {
        Timeouts timeouts;
        qint64 maxBodyBytes = -1;  // -1: no cap
    };

    struct Result {
        // The answer's body; null when no HTTP answer arrived (a transport failure).
        QByteArray data;
        int statusCode = 0;  // 0: no HTTP answer
        // Set for transport failures only (refused, reset, time-out, host not found, a body cut
        // short). An HTTP error status with a complete body is an answer, not an error.
        std::optional<QSNetworkError> error;
        // The body passed maxBodyBytes: data holds its first maxBodyBytes, the rest was not read.
        bool bodyTooLarge = false;
    };
    using Completion = std::function<void(const Result &)>;

    // Starts the request on the main thread's network manager and returns at once. The completion
    // runs exactly once, later, on the main thread, when the request has ended for any reason.
    static void start(const QNetworkRequest &request, const QByteArray &method, const QByteArray &body,
                      const Options &options, Completion completion);

    // Readies, on a thread of the global pool, what the first request to `url` would otherwise set
    // up on its way out: the system's proxy lookup (libproxy reads its configuration and modules
    // on first use, several milliseconds). Returns at once.
    static void prepare(const QUrl &url);

    // Runs the request and waits for it in a local event loop that the deadline bounds, so a
    // server that accepts and never answers holds the caller no longer than the deadline.
    static Result run(const QNetworkRequest &request, const QByteArray &method, const QByteArray &body,
                      const Options &options);

    // Whether a QNetworkReply::NetworkError means the connection broke (no answer, or an answer
    // cut short) rather than Qt's translation of an HTTP status into an error.
    static bool isConnectionFailure(int networkError);

    // Adds a header unless the value is null; control characters are dropped so that a value
    // read from settings or the system cannot add header lines of its own.
    static void setHeader(QNetworkRequest &request, const QByteArray &name, const QString &value);

    // Test support: every request uses these time-outs instead of its own (nullopt: restore).
    static void overrideTimeoutsForTesting(std::optional<Timeouts> timeouts);

    QSHttp() = delete;
};
