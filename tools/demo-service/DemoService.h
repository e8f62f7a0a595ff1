#pragma once
// The maker's services in one process: routes each request to its handler.
//
//   GET  /config/<env>        configuration document (dev1, qa1, beta, prod)
//   GET  /images/<name>.png   page images, with @2x and @3x variants
//   GET  /download/<file>     the product archive (with the fault modes of ArchiveDownload)
//   POST /analytics           analytics batches, appended to a file
//   PUT  /logs/<path>         uploaded run logs, stored under a folder
//   GET  /healthz             200 when the service is up

#include "AnalyticsCollector.h"
#include "ArchiveDownload.h"
#include "ConfigDocument.h"
#include "LogCollector.h"
#include "PageImages.h"
#include "RequestLog.h"
#include "ServiceOptions.h"

#include <QHttpServer>
#include <QObject>

namespace demo {

class DemoService : public QObject {
    Q_OBJECT
public:
    explicit DemoService(ServiceOptions options, QObject *parent = nullptr);

    // Signs the archive when the options name a key, then binds 127.0.0.1 only, on the port of
    // the options (0 picks one).
    [[nodiscard]] bool listen(QString *error);
    quint16 port() const { return m_port; }

    // The address the service gives for itself in the documents it serves.
    QString publicBase() const;
    ConfigLinks links() const;

private:
    void addRoutes();
    void noteRequest(const QHttpServerRequest &request);

    void answerConfig(const QString &environment, QHttpServerResponder &responder) const;
    QHttpServerResponse answerImage(const QString &name) const;
    QHttpServerResponse answerAnalytics(const QHttpServerRequest &request) const;
    QHttpServerResponse answerLogUpload(const QHttpServerRequest &request) const;

    ServiceOptions m_options;
    PageImages m_images;
    ArchiveDownload m_download;
    AnalyticsCollector m_analytics;
    LogCollector m_logs;
    RequestLog m_requestLog;
    QHttpServer m_server;
    quint16 m_port = 0;
    QString m_signature;  // the archive's .minisig text when the service signs it
};

}  // namespace demo
