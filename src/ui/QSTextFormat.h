#pragma once
// Localised texts are formats with "%@" where a value goes (the product or maker name).

#include <QString>

// Every "%@" of format replaced by value.
inline QString replacingPlaceholder(QString format, const QString &value)
{
    return format.replace(QLatin1String("%@"), value);
}
