#include "telemetry/QSLogContext.h"

#include "telemetry/QSSystemInfo.h"

QSLogContext QSLogContext::make(const char *file, const QString &function, int line)
{
    QSLogContext context = bare(file, function, line);
    const QString path = context.file;
    context.file = path.section(QLatin1Char('/'), -1);
    context.language = QSSystemInfo::getLanguage();
    context.country = QSSystemInfo::getCountry();
    context.locale = QSSystemInfo::getLocale();
    return context;
}

QSLogContext QSLogContext::bare(const char *file, const QString &function, int line)
{
    QSLogContext context;
    context.file = file ? QString::fromUtf8(file) : QString();
    context.function = function;
    context.line = QString::number(line);
    return context;
}
