#include "RequestLog.h"

#include "AppendFile.h"

#include <QDateTime>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>

namespace demo {

RequestLog::RequestLog(QString filePath) : m_filePath(std::move(filePath)) {}

QString RequestLog::methodName(const QHttpServerRequest &request)
{
    const QMetaEnum methods = QMetaEnum::fromType<QHttpServerRequest::Method>();
    const char *key = methods.valueToKey(static_cast<int>(request.method()));
    return key ? QString::fromLatin1(key).toUpper() : QStringLiteral("UNKNOWN");
}

bool RequestLog::record(const QHttpServerRequest &request, QString *error) const
{
    if (m_filePath.isEmpty())
        return true;

    QJsonArray headers;
    const auto pairs = request.headers();
    for (const auto &[name, value] : pairs)
        headers.append(QJsonArray{QString::fromLatin1(name), QString::fromUtf8(value)});

    const QJsonObject line{
        {QStringLiteral("time"),
         QDateTime::currentDateTime().toString(Qt::ISODateWithMs)},
        {QStringLiteral("method"), methodName(request)},
        {QStringLiteral("path"), request.url().path()},
        {QStringLiteral("query"), request.url().query()},
        {QStringLiteral("headers"), headers},
        {QStringLiteral("bodySize"), static_cast<qint64>(request.body().size())},
    };
    return appendWhole(m_filePath, QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n', error);
}

}  // namespace demo
