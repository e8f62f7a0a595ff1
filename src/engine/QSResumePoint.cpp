#include "engine/QSResumePoint.h"

#include <QList>

namespace QSRanges {

QByteArray offeredValidator(const QByteArray &acceptRanges, const QByteArray &etag, const QByteArray &lastModified)
{
    bool bytes = false;
    for (const QByteArray &unit : acceptRanges.split(','))
        bytes = bytes || unit.trimmed().compare("bytes", Qt::CaseInsensitive) == 0;
    if (!bytes)
        return {};
    const QByteArray tag = etag.trimmed();
    if (!tag.isEmpty() && !tag.startsWith("W/"))
        return tag;
    return lastModified.trimmed();
}

std::optional<ContentRange> parseContentRange(const QByteArray &value)
{
    const QByteArray text = value.trimmed();
    if (!text.startsWith("bytes "))
        return std::nullopt;
    const QByteArray ranges = text.mid(6).trimmed();
    const qsizetype dash = ranges.indexOf('-');
    const qsizetype slash = ranges.indexOf('/');
    if (dash <= 0 || slash <= dash + 1)
        return std::nullopt;
    bool ok1 = false, ok2 = false, ok3 = false;
    ContentRange range;
    range.first = ranges.left(dash).toLongLong(&ok1);
    range.last = ranges.mid(dash + 1, slash - dash - 1).toLongLong(&ok2);
    range.total = ranges.mid(slash + 1).toLongLong(&ok3);
    if (!ok1 || !ok2 || !ok3 || range.first < 0 || range.first > range.last || range.last >= range.total)
        return std::nullopt;
    return range;
}

}  // namespace QSRanges
