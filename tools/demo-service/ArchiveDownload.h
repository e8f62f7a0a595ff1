#pragma once
// Serves the product archive at /download/<its file name>, with its length announced, and can
// misbehave on purpose for tests: answer 404 to the first N requests, announce the full length but
// close the connection after half the body, or send the body without any length.

#include <QString>

class QHttpServerResponder;

namespace demo {

struct DownloadFaults {
    int failFirst = 0;     // the first N archive requests get 404 with a short text body
    bool cutBody = false;  // full Content-Length announced, connection closed after half
    bool noLength = false; // no Content-Length; the end of the body is the end of the connection
};

class ArchiveDownload {
public:
    ArchiveDownload(QString archivePath, DownloadFaults faults);

    QString fileName() const;
    int requestCount() const { return m_requests; }

    void respond(const QString &requestedName, QHttpServerResponder &&responder);

private:
    void sendWhole(QHttpServerResponder &responder);
    void sendRaw(QHttpServerResponder &responder);

    QString m_archivePath;
    DownloadFaults m_faults;
    int m_requests = 0;
};

}  // namespace demo
