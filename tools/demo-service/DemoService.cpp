#include "DemoService.h"

#include "ArchiveSigner.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QTcpServer>

#include <cstdio>

namespace demo {

namespace {

using Method = QHttpServerRequest::Method;
using Status = QHttpServerResponder::StatusCode;

const QByteArray kTextType = QByteArrayLiteral("text/plain; charset=utf-8");
const QByteArray kJsonType = QByteArrayLiteral("application/json");
constexpr QStringView kLogsPrefix = u"/logs/";

QHttpServerResponse text(const QString &message, Status status)
{
    return QHttpServerResponse(kTextType, (message + u'\n').toUtf8(), status);
}

// What the service has to report (problems, the signature it serves) goes to standard error.
void warn(const QString &message)
{
    std::fprintf(stderr, "demo-service: %s\n", qPrintable(message));
    std::fflush(stderr);
}

}  // namespace

DemoService::DemoService(ServiceOptions options, QObject *parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_download(m_options.archivePath, m_options.faults),
      m_analytics(m_options.analyticsFile),
      m_logs(m_options.logDir),
      m_requestLog(m_options.requestLog)
{
    addRoutes();
}

bool DemoService::listen(QString *error)
{
    if (!m_options.signingKey.isEmpty()) {
        const auto signature = ArchiveSigner::sign(m_options.archivePath, m_options.signingKey,
                                                   QStringLiteral("file:%1 build:%2").arg(m_download.fileName(), m_options.latestBuild),
                                                   error);
        if (!signature)
            return false;
        m_signature = QString::fromUtf8(*signature);
    }
    // Our own listening socket, so that a taken port comes back with its reason.
    auto *tcp = new QTcpServer(&m_server);
    if (!tcp->listen(QHostAddress::LocalHost, m_options.port)) {
        *error = QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
                     .arg(m_options.port)
                     .arg(tcp->errorString());
        delete tcp;
        return false;
    }
    m_server.bind(tcp);
    m_port = tcp->serverPort();
    return true;
}

QString DemoService::publicBase() const
{
    if (!m_options.publicBase.isEmpty())
        return m_options.publicBase.toString();
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

ConfigLinks DemoService::links() const
{
    const QString base = publicBase();
    ConfigLinks links;
    links.analyticsUrl = base + QStringLiteral("/analytics");
    links.logUploadUrl = base + kLogsPrefix.toString();
    if (m_options.analyticsUrl)
        links.analyticsUrl = m_options.analyticsUrl->isEmpty() ? std::nullopt : m_options.analyticsUrl;
    if (m_options.logUploadUrl)
        links.logUploadUrl = m_options.logUploadUrl->isEmpty() ? std::nullopt : m_options.logUploadUrl;
    links.downloadUrl = m_options.downloadUrl.value_or(
        base + QStringLiteral("/download/") + QString::fromUtf8(QUrl::toPercentEncoding(m_download.fileName())));
    links.imageBaseUrl = base + QStringLiteral("/images/");
    links.signature = m_signature;
    return links;
}

void DemoService::addRoutes()
{
    m_server.route(QStringLiteral("/healthz"), Method::Get, [this](const QHttpServerRequest &request) {
        noteRequest(request);
        return text(QStringLiteral("OK"), Status::Ok);
    });
    m_server.route(QStringLiteral("/config/<arg>"), Method::Get,
                   [this](const QString &environment, const QHttpServerRequest &request,
                          QHttpServerResponder &&responder) {
                       noteRequest(request);
                       answerConfig(environment, responder);
                   });
    m_server.route(QStringLiteral("/images/<arg>"), Method::Get,
                   [this](const QString &name, const QHttpServerRequest &request) {
                       noteRequest(request);
                       return answerImage(name);
                   });
    m_server.route(QStringLiteral("/download/<arg>"), Method::Get,
                   [this](const QString &name, const QHttpServerRequest &request,
                          QHttpServerResponder &&responder) {
                       noteRequest(request);
                       m_download.respond(name, std::move(responder));
                   });
    m_server.route(QStringLiteral("/analytics"), Method::Post, [this](const QHttpServerRequest &request) {
        noteRequest(request);
        return answerAnalytics(request);
    });
    // A QUrl placeholder matches across slashes; the handler reads the path from the request.
    m_server.route(QStringLiteral("/logs/<arg>"), Method::Put,
                   [this](const QUrl &, const QHttpServerRequest &request) {
                       noteRequest(request);
                       return answerLogUpload(request);
                   });
    m_server.setMissingHandler([this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        noteRequest(request);
        responder.write(QStringLiteral("Nothing at %1 %2\n")
                            .arg(RequestLog::methodName(request), request.url().path())
                            .toUtf8(),
                        kTextType, Status::NotFound);
    });
}

void DemoService::noteRequest(const QHttpServerRequest &request)
{
    QString error;
    if (!m_requestLog.record(request, &error))
        warn(QStringLiteral("request log: %1").arg(error));
}

void DemoService::answerConfig(const QString &environment, QHttpServerResponder &responder) const
{
    if (!m_options.configFile.isEmpty()) {
        // Read on every request so a test can change the document between runs.
        QFile file(m_options.configFile);
        if (!file.open(QIODevice::ReadOnly)) {
            warn(QStringLiteral("config file %1: %2").arg(m_options.configFile, file.errorString()));
            responder.write(QByteArrayLiteral("Cannot read the configuration file\n"), kTextType,
                            Status::InternalServerError);
            return;
        }
        responder.write(file.readAll(), kJsonType);
        return;
    }
    if (!ConfigDocument::isKnownEnvironment(environment)) {
        responder.write(QStringLiteral("Unknown environment %1; known: %2\n")
                            .arg(environment, ConfigDocument::environments().join(u", "))
                            .toUtf8(),
                        kTextType, Status::NotFound);
        return;
    }
    const QJsonObject document = ConfigDocument::build(environment, links(), m_options.latestBuild);
    responder.write(QJsonDocument(document).toJson(QJsonDocument::Indented), kJsonType);
    if (!m_signature.isEmpty())
        warn(QStringLiteral("served the configuration for %1 with the archive's signature (%2)")
                 .arg(environment, m_signature.section(QLatin1Char('\n'), 2, 2)));
}

QHttpServerResponse DemoService::answerImage(const QString &name) const
{
    const std::optional<QByteArray> png = m_images.png(name);
    if (!png)
        return text(QStringLiteral("No image named %1").arg(name), Status::NotFound);
    return QHttpServerResponse(QByteArrayLiteral("image/png"), *png);
}

QHttpServerResponse DemoService::answerAnalytics(const QHttpServerRequest &request) const
{
    if (!m_analytics.isEnabled())
        return text(QStringLiteral("Analytics are not collected: start with --analytics-file"),
                    Status::ServiceUnavailable);
    QString error;
    if (!m_analytics.append(request.body(), request.value(QByteArrayLiteral("Content-Type")), &error)) {
        warn(QStringLiteral("analytics: %1").arg(error));
        return text(QStringLiteral("Analytics batch not stored"), Status::InternalServerError);
    }
    return text(QStringLiteral("OK"), Status::Ok);
}

QHttpServerResponse DemoService::answerLogUpload(const QHttpServerRequest &request) const
{
    if (!m_logs.isEnabled())
        return text(QStringLiteral("Logs are not collected: start with --log-dir"),
                    Status::ServiceUnavailable);
    // The fully decoded path, so an encoded "%2E%2E" or "%2F" is checked like the plain form.
    const QString path = request.url().path(QUrl::FullyDecoded);
    const QString relative = path.mid(kLogsPrefix.size());
    if (!path.startsWith(kLogsPrefix) || !LogCollector::safeRelativePath(relative))
        return text(QStringLiteral("Refused upload path %1").arg(path), Status::BadRequest);

    QString error;
    const std::optional<QString> stored = m_logs.store(relative, request.body(), &error);
    if (!stored) {
        warn(QStringLiteral("log upload: %1").arg(error));
        return text(QStringLiteral("Log not stored"), Status::InternalServerError);
    }
    const auto status = static_cast<Status>(m_options.logStatus);
    if (status == Status::NoContent || status == Status::NotModified)
        return QHttpServerResponse(status);  // these answers carry no body
    return text(status == Status::Ok ? QStringLiteral("OK")
                                     : QStringLiteral("Stored, answered %1 on purpose").arg(m_options.logStatus),
                status);
}

}  // namespace demo
