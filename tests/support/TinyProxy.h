#pragma once
// A real forward proxy for tests: tinyproxy on 127.0.0.1 with its own configuration, log and pid
// file in a temporary folder. With credentials it answers 407 to every request without them.

#include <QProcess>
#include <QTemporaryDir>

class TinyProxy {
public:
    TinyProxy() = default;
    ~TinyProxy();
    TinyProxy(const TinyProxy &) = delete;
    TinyProxy &operator=(const TinyProxy &) = delete;

    // user/password empty: no authentication. False when tinyproxy did not come up.
    [[nodiscard]] bool start(const QString &user = {}, const QString &password = {});
    // "http://127.0.0.1:<port>", for http_proxy and https_proxy.
    QString address() const;
    // tinyproxy's log: it names every request it passed on.
    QString log() const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
};
