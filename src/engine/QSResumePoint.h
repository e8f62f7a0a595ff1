#pragma once
#include "telemetry/CoreGlobal.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Where an interrupted body may continue: the bytes already on disk, the whole body's length and
// the validator (a strong ETag or a Last-Modified date) that names the version they belong to.
struct QSResumePoint {
    qint64 bytes = 0;
    qint64 total = -1;
    QByteArray validator;
    bool isValid() const { return bytes > 0 && total > bytes && !validator.isEmpty(); }
};

// Reading the headers that decide about resuming.
namespace QSRanges {

// The validator an answer offers for a later If-Range, when it accepts byte ranges: its ETag
// when strong (a weak one may not be used there), else its Last-Modified. Empty when it offers
// none or does not accept byte ranges.
QByteArray offeredValidator(const QByteArray &acceptRanges, const QByteArray &etag, const QByteArray &lastModified);

struct ContentRange {
    qint64 first = 0;
    qint64 last = 0;
    qint64 total = 0;
};
// "bytes first-last/total"; nullopt unless well-formed with first <= last < total.
std::optional<ContentRange> parseContentRange(const QByteArray &value);

}  // namespace QSRanges
