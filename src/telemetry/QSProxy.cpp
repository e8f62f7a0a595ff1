#include "telemetry/QSProxy.h"

#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>

namespace {

class SystemProxyFactory : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        QList<QNetworkProxy> proxies = QNetworkProxyFactory::systemProxyForQuery(query);
        if (proxies.isEmpty())
            proxies << QNetworkProxy(QNetworkProxy::NoProxy);
        return proxies;
    }
};

}  // namespace

void QSProxy::useSystemProxy(QNetworkAccessManager &manager)
{
    manager.setProxyFactory(new SystemProxyFactory);  // the manager owns it
}

QString QSProxy::proxyFor(const QUrl &url)
{
    const QList<QNetworkProxy> proxies = SystemProxyFactory().queryProxy(QNetworkProxyQuery(url));
    const QNetworkProxy &first = proxies.first();
    if (first.type() == QNetworkProxy::NoProxy || first.type() == QNetworkProxy::DefaultProxy)
        return {};
    return QStringLiteral("%1:%2").arg(first.hostName()).arg(first.port());
}
