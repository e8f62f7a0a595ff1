#pragma once
#include "telemetry/CoreGlobal.h"

#include <QByteArray>
#include <QDateTime>

#include <chrono>
#include <functional>
#include <optional>

// The pause between two download attempts: exponential with full jitter, so that installers that
// failed together (an outage of the download host) do not come back together, and a server's
// Retry-After, which is honoured up to the same cap.
class QSRetryBackoff {
public:
    using Duration = std::chrono::milliseconds;
    struct Settings {
        Duration base{1000};  // ceiling after the first failed attempt
        Duration cap{30000};  // no pause is longer, whatever the attempt or the server says
    };
    QSRetryBackoff();  // the default settings and the process's random source
    // uniform returns a number in [0, 1); the process's random source when empty.
    explicit QSRetryBackoff(Settings settings, std::function<double()> uniform = {});

    // The longest pause after attempt number failedAttempt (from 1): base doubled per attempt, capped.
    Duration ceilingAfter(quint64 failedAttempt) const;
    // The pause after a failed attempt: the server's wish when it gave one (capped), otherwise a
    // uniformly random pause between zero and ceilingAfter(failedAttempt).
    Duration delayAfter(quint64 failedAttempt, std::optional<Duration> retryAfter) const;

    // A Retry-After field: delta seconds or an HTTP date (measured from now); nullopt when absent
    // or unreadable. A date in the past is a pause of zero.
    static std::optional<Duration> parseRetryAfter(const QByteArray &value, const QDateTime &now);

    const Settings &settings() const { return settings_; }

private:
    Settings settings_;
    std::function<double()> uniform_;
};
