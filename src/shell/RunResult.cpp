#include "shell/RunResult.h"

#include <QJsonDocument>

#include <cmath>

namespace shell {

QJsonObject RunResult::toJson() const
{
    // Tenths of a second: more is noise for a script, and a stable text for its logs.
    return {
        {QStringLiteral("outcome"), outcome},
        {QStringLiteral("status"), status},
        {QStringLiteral("message"), message},
        {QStringLiteral("product"), product},
        {QStringLiteral("version"), version},
        {QStringLiteral("path"), path},
        {QStringLiteral("duration"), std::round(seconds * 10.0) / 10.0},
        {QStringLiteral("log"), logPath},
    };
}

QString RunResult::line(bool json) const
{
    if (json)
        return QString::fromUtf8(QJsonDocument(toJson()).toJson(QJsonDocument::Compact));
    return message;
}

}  // namespace shell
