#pragma once
#include "telemetry/CoreGlobal.h"

#include <QDateTime>
#include <QString>

// Time texts of the run log, the events and the upload address.
namespace QSTimeFormat {

// "yyyy-MM-dd'T'HH:mm:ssZZZZZ" in the system's time zone: local time to the second, then "Z"
// at a zero offset or "+05:30" style offsets elsewhere.
QString isoWithOffset(const QDateTime &moment = QDateTime::currentDateTime());

// "yyyy-MM-dd'T'HH-mm-ss" in local time, every blank replaced by "T".
QString uploadStamp(const QDateTime &moment = QDateTime::currentDateTime());

}  // namespace QSTimeFormat
