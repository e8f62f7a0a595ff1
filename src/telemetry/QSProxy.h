#pragma once
#include "telemetry/CoreGlobal.h"

#include <QString>
#include <QUrl>

class QNetworkAccessManager;

// How the installer's requests find their way out: through the system's proxy, asked afresh for
// every request (on Linux the environment: http_proxy, https_proxy and no_proxy). Unlike Qt's
// application-wide setting, a loopback address is not exempt by itself: no_proxy decides, as it
// does for curl.
class QSProxy {
public:
    // Every request of this manager asks the system's configuration for its proxy.
    static void useSystemProxy(QNetworkAccessManager &manager);
    // "host:port" of the proxy a request to url goes through; empty when it goes direct.
    static QString proxyFor(const QUrl &url);

    QSProxy() = delete;
};
