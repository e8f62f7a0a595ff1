#include "NginxServer.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

NginxServer::NginxServer()
{
    QDir(dir_.path()).mkpath(QStringLiteral("www"));
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    port_ = probe.serverPort();
}

NginxServer::~NginxServer()
{
    kill();
}

void NginxServer::putFile(const QString &name, const QByteArray &bytes)
{
    QFile file(dir_.filePath(QStringLiteral("www/") + name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

bool NginxServer::start(const Options &options)
{
    kill();
    QString server = options.serverLines;
    if (options.tls) {
        server += QStringLiteral("ssl_certificate %1; ssl_certificate_key %2;\n").arg(options.tls->certificate, options.tls->key);
        // Debian's OpenSSL 3 refuses TLS 1.0 below security level 0, in a server as in a client.
        if (options.tls->onlyTls10)
            server += QStringLiteral("ssl_protocols TLSv1; ssl_ciphers DEFAULT:@SECLEVEL=0;\n");
    }
    const QString location = (options.limitRate.isEmpty() ? QString() : QStringLiteral("limit_rate %1;").arg(options.limitRate)) +
        (options.serveRanges ? QString() : QStringLiteral(" max_ranges 0;"));
    const QString conf = QStringLiteral(R"(
daemon off; master_process off; worker_processes 1;
error_log %1/error.log info; pid %1/nginx.pid;
events { worker_connections 64; }
http {
  log_format ranges '$status "$http_range" $body_bytes_sent';
  access_log %1/access.log ranges;
  client_body_temp_path %1/body; proxy_temp_path %1/proxy; fastcgi_temp_path %1/fcgi; uwsgi_temp_path %1/uwsgi; scgi_temp_path %1/scgi;
  server { listen 127.0.0.1:%2%3; location / { root %1/www; %4 } %5 }
}
)")
                             .arg(dir_.path())
                             .arg(port_)
                             .arg(options.tls ? QStringLiteral(" ssl") : QString(), location, server);
    tls_ = options.tls.has_value();
    QFile file(dir_.filePath(QStringLiteral("nginx.conf")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(conf.toUtf8()) < 0)
        return false;
    file.close();
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("nginx"), {QStringLiteral("-c"), file.fileName(), QStringLiteral("-p"), dir_.path()});
    return process_.waitForStarted(5000) && QTest::qWaitFor([this] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port_);
        return socket.waitForConnected(200);
    }, 10000);
}

void NginxServer::kill()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished(5000);
}

QUrl NginxServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3").arg(tls_ ? QLatin1String("https") : QLatin1String("http")).arg(port_).arg(path));
}

QStringList NginxServer::accessLog() const
{
    QFile file(dir_.filePath(QStringLiteral("access.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts) : QStringList();
}
