#pragma once
#include "telemetry/CoreGlobal.h"

#include <QString>

// A transport failure of an HTTP request: no connection, time-out, host not found.
struct QSNetworkError {
    int code = 0;
    QString description;
};
