#include "telemetry/QSTimeFormat.h"

#include <QLocale>

namespace QSTimeFormat {

QString isoWithOffset(const QDateTime &moment)
{
    const QDateTime local = moment.toLocalTime();
    QString text = QLocale::c().toString(local, QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
    const int offset = local.offsetFromUtc();
    if (offset == 0)
        return text + QLatin1Char('Z');
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    text += offset < 0 ? QLatin1Char('-') : QLatin1Char('+');
    text += QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
    return text;
}

QString uploadStamp(const QDateTime &moment)
{
    // Digits stay ASCII whatever the user's locale: the stamp becomes part of a URL.
    QString text = QLocale::c().toString(moment.toLocalTime(), QStringLiteral("yyyy-MM-dd'T'HH-mm-ss"));
    text.replace(QLatin1Char(' '), QLatin1Char('T'));
    return text;
}

}  // namespace QSTimeFormat
