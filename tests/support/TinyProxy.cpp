#include "TinyProxy.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

TinyProxy::~TinyProxy()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000))
        process_.kill(), process_.waitForFinished(5000);
}

bool TinyProxy::start(const QString &user, const QString &password)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    port_ = probe.serverPort();
    probe.close();
    QString conf = QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 60\nMaxClients 20\nLogLevel Info\n"
                                  "LogFile \"%2/tinyproxy.log\"\nPidFile \"%2/tinyproxy.pid\"\nAllow 127.0.0.1\n")
                       .arg(port_)
                       .arg(dir_.path());
    if (!user.isEmpty())
        conf += QStringLiteral("BasicAuth %1 %2\n").arg(user, password);
    QFile file(dir_.filePath(QStringLiteral("tinyproxy.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(conf.toUtf8()) < 0)
        return false;
    file.close();
    // -d: stays in the foreground, so the process is ours to end.
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("tinyproxy"), {QStringLiteral("-d"), QStringLiteral("-c"), file.fileName()});
    return process_.waitForStarted(5000) && QTest::qWaitFor([this] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port_);
        return socket.waitForConnected(200);
    }, 10000);
}

QString TinyProxy::address() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

QString TinyProxy::log() const
{
    QFile file(dir_.filePath(QStringLiteral("tinyproxy.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
