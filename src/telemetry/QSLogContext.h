#pragma once
#include "telemetry/CoreGlobal.h"

#include <QString>

// Where a run-log record comes from. Built at the call site with QS_LOG_CONTEXT("-[Class op]"),
// which fills language, country and locale from QSSystemInfo and the calling file and line.
struct QSLogContext {
    QString language;
    QString country;
    QString locale;
    QString file;
    QString function;
    QString line;

    // file is __FILE__ (only its last path component is kept).
    static QSLogContext make(const char *file, const QString &function, int line);
    // Only file, function and line; the file's full path (a relative one taken from the folder
    // the compiler ran in), no language, country, locale.
    static QSLogContext bare(const char *file, const QString &function, int line);
};

#define QS_LOG_CONTEXT(function) QSLogContext::make(__FILE__, QStringLiteral(function), __LINE__)
