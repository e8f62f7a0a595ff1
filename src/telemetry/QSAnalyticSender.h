#pragma once
#include "telemetry/CoreGlobal.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>

// Analytics events: lines "<time> ci=<ci> <compact JSON>" handed to the shell's queue through
// "LOG_ANALYTICS" and to the run log; the whole batch goes out in one POST at exit.
class QSAnalyticSender {
public:
    // Time-outs of the POST at exit: the batch is small, and the installer is quitting, so 10 s
    // without progress or 15 s in all end the wait.
    static constexpr std::chrono::milliseconds kIdleTimeout{10'000};
    static constexpr std::chrono::milliseconds kDeadline{15'000};
    // The answer only tells whether the server took the request: its first 64 KiB are kept, the
    // rest is never read, so no server can fill the memory or hold up the end of the run.
    static constexpr qint64 kMaxAnswerBytes = 64 * 1024;

    static QJsonObject defaultData();
    static QString getMessage(const QString &eventName, const QJsonObject &data);
    static void sendEvent(const QString &eventName, const QJsonObject &data);
    // Blocks (in a local event loop, bounded by the request's deadline) until the POST ends.
    static void sendAll(const QStringList &eventLines, const QUrl &url);
    static void send(const QString &body, const QUrl &url);

    // A single-precision number as the shortest decimal that reads back as the same float.
    static QJsonValue singlePrecision(float value);

    QSAnalyticSender() = delete;
};
