#include "telemetry/QSLogContext.h"

#include "telemetry/QSSystemInfo.h"

#include <QDir>

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
#if defined(TI_COMPILE_DIR)
    if (!context.file.isEmpty() && QDir::isRelativePath(context.file))
        context.file = QDir::cleanPath(QStringLiteral(TI_COMPILE_DIR "/") + context.file);
#endif
    context.function = function;
    context.line = QString::number(line);
    return context;
}
