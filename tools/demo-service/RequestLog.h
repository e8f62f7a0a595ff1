#pragma once
// One JSON line per request received, so tests can check what the installer sent:
// {"time": ISO-8601 with milliseconds, "method": "GET", "path": "/config/prod", "query": "...",
//  "headers": [["appName", "CORVALA"], ...] in arrival order, "bodySize": 0}

#include <QString>

class QHttpServerRequest;

namespace demo {

class RequestLog {
public:
    explicit RequestLog(QString filePath);

    // Returns false, with the reason, when the line could not be written; the request itself is
    // answered all the same.
    [[nodiscard]] bool record(const QHttpServerRequest &request, QString *error) const;

    static QString methodName(const QHttpServerRequest &request);

private:
    QString m_filePath;
};

}  // namespace demo
