#pragma once
// nginx on 127.0.0.1 for tests: serves the files of its www folder under "/", with ETag,
// Last-Modified and byte ranges as nginx gives them, at a chosen rate, over HTTP or HTTPS. It can
// be killed mid-transfer (the connection breaks as if the line were cut) and started again on the
// same port. Each answer is logged as "<status> <Range header> <body bytes sent>"; a connection
// whose TLS handshake failed sends no request and has no line there.

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <optional>

class NginxServer {
public:
    struct Options {
        QString limitRate{};   // nginx's limit_rate ("200k"); empty: unlimited
        bool serveRanges = true;  // false: "max_ranges 0", every Range is ignored
        struct Tls {
            QString certificate{}, key{};  // PEM files, such as TestCertificates makes
            bool onlyTls10 = false;    // offers TLS 1.0 and nothing newer, as an old server would
        };
        std::optional<Tls> tls{};  // none: plain HTTP
        QString serverLines{};   // more directives for the server block ("location = /a { ... }")
    };

    NginxServer();
    ~NginxServer();
    NginxServer(const NginxServer &) = delete;
    NginxServer &operator=(const NginxServer &) = delete;

    // Writes a file to be served at "/<name>".
    void putFile(const QString &name, const QByteArray &bytes);
    // Starts (or starts again, on the same port) with these options; false when nginx did not come up.
    [[nodiscard]] bool start(const Options &options);
    // SIGKILL: open connections break at once, nothing more is sent.
    void kill();

    // http:// or https://127.0.0.1:<port><path>, as the last start() serves.
    QUrl url(const QString &path) const;
    // The access log, one line per finished answer (a killed transfer has none).
    QStringList accessLog() const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    bool tls_ = false;
};
