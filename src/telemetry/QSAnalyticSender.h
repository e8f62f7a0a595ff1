#pragma once
#include "telemetry/CoreGlobal.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QUrl>

// Analytics events: lines "<time> ci=<ci> <compact JSON>" handed to the shell's queue through
// "LOG_ANALYTICS" and to the run log; the whole batch goes out in one POST at exit.
class QSAnalyticSender {
public:
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
