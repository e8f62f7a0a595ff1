#pragma once
#include "telemetry/QSLogContext.h"

#include <QString>

// The run log: one JSON-shaped record per line in <home><app data path>/Logs/tiny.log, the login
// name masked. Every record is appended with a single write on a descriptor opened with O_APPEND,
// so records from two threads or two processes never interleave. Never fails towards the caller.
class QSLogger {
public:
    // An analytics event text, "<time> ci=<identifier> <json>", taken apart for its record.
    struct EventText {
        QString time;     // the first piece
        QString ci;       // what follows "=" in the second piece
        QString message;  // the text without those two pieces, trimmed
    };
    static EventText splitEventText(const QString &eventText);

    static void debug(const QString &message, const QSLogContext &context);
    static void error(const QString &message, const QSLogContext &context);
    static void showScreen(const QString &screenName, const QSLogContext &context);
    static void logEvent(const QString &eventText, const QSLogContext &context);

    static void writeLog(const QString &trace, const QString &message, const QSLogContext &context);
    static void writeEvent(const QString &trace, const QString &eventText, const QSLogContext &context);
    static QString maskPIIDataInMessage(const QString &text);

    // "<home><app data path>/Logs" and ".../tiny.log"
    static QString logDirectory();
    static QString logFilePath();
    // Deletes the run log; false when it could not be removed (a missing file counts as removed).
    static bool deleteLogFile();

    QSLogger() = delete;
};
