#include "engine/QSRetryBackoff.h"

#include <QRandomGenerator>

#include <algorithm>

QSRetryBackoff::QSRetryBackoff()
    : QSRetryBackoff(Settings{})
{
}

QSRetryBackoff::QSRetryBackoff(Settings settings, std::function<double()> uniform)
    : settings_(settings),
      uniform_(uniform ? std::move(uniform) : [] { return QRandomGenerator::global()->generateDouble(); })
{
}

QSRetryBackoff::Duration QSRetryBackoff::ceilingAfter(quint64 failedAttempt) const
{
    Duration ceiling = settings_.base;
    // Doubling stops at the cap, so a limit of 1e12 attempts cannot overflow anything.
    for (quint64 i = 1; i < failedAttempt && ceiling < settings_.cap; ++i)
        ceiling *= 2;
    return std::min(ceiling, settings_.cap);
}

QSRetryBackoff::Duration QSRetryBackoff::delayAfter(quint64 failedAttempt, std::optional<Duration> retryAfter) const
{
    if (retryAfter)
        return std::clamp(*retryAfter, Duration::zero(), settings_.cap);
    const double share = std::clamp(uniform_(), 0.0, 1.0);
    return Duration(qint64(double(ceilingAfter(failedAttempt).count()) * share));
}

std::optional<QSRetryBackoff::Duration> QSRetryBackoff::parseRetryAfter(const QByteArray &value, const QDateTime &now)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool isNumber = false;
    const qlonglong seconds = text.toLongLong(&isNumber);
    if (isNumber) {
        if (seconds < 0)
            return std::nullopt;
        // Anything past a day is as good as the cap; keep the multiplication far from overflow.
        return Duration(std::min<qlonglong>(seconds, 86400) * 1000);
    }
    // An HTTP date ends in "GMT", which Qt's RFC 2822 reader wants as a numeric offset.
    QString date = QString::fromLatin1(text);
    if (date.endsWith(QLatin1String(" GMT")))
        date = date.chopped(4) + QLatin1String(" +0000");
    const QDateTime when = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!when.isValid())
        return std::nullopt;
    return Duration(std::max<qint64>(0, now.msecsTo(when)));
}
