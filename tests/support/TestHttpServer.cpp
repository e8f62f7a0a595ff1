#include "TestHttpServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace {

// The first value of a header, its name compared without case; null when absent.
QByteArray headerValue(const TestHttpServer::Headers &headers, const QByteArray &name)
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

// Parses a complete request from the buffer; false while more bytes are needed.
bool parseRequest(const QByteArray &buffer, TestHttpServer::Request *request)
{
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request->method = requestLine.value(0);
    request->target = requestLine.value(1);
    request->path = request->target.left(request->target.indexOf('?') < 0 ? request->target.size()
                                                                          : request->target.indexOf('?'));
    request->headers.clear();
    qint64 length = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed();
        const QByteArray value = line.mid(colon + 1).trimmed();
        request->headers.append({name, value});
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            length = value.toLongLong();
    }
    const qsizetype bodyStart = headEnd + 4;
    if (buffer.size() - bodyStart < length)
        return false;
    request->body = buffer.mid(bodyStart, length);
    return true;
}

}  // namespace

QByteArray TestHttpServer::Request::header(const QByteArray &name) const
{
    return headerValue(headers, name);
}

TestHttpServer::TestHttpServer()
{
    if (!server_.listen(QHostAddress::LocalHost, 0))
        qFatal("TestHttpServer: cannot listen on 127.0.0.1: %s", qPrintable(server_.errorString()));
    port_ = server_.serverPort();
    clock_.start();
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { onNewConnection(); });
}

TestHttpServer::~TestHttpServer()
{
    server_.close();
    const auto sockets = buffers_.keys();
    for (QTcpSocket *socket : sockets)
        socket->abort();
}

void TestHttpServer::answer(const QByteArray &path, const Answer &answer)
{
    answers_.insert(path, answer);
}

void TestHttpServer::answerOtherPaths(const Answer &answer)
{
    otherPaths_ = answer;
}

QUrl TestHttpServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path));
}

void TestHttpServer::refuse()
{
    server_.close();
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        buffers_.insert(socket, {});
        QObject::connect(socket, &QTcpSocket::readyRead, &server_, [this, socket] { onReadyRead(socket); });
        QObject::connect(socket, &QTcpSocket::disconnected, &server_, [this, socket] {
            buffers_.remove(socket);
            socket->deleteLater();
        });
    }
}

void TestHttpServer::onReadyRead(QTcpSocket *socket)
{
    auto it = buffers_.find(socket);
    if (it == buffers_.end())
        return;
    it->append(socket->readAll());
    Request request;
    if (!parseRequest(*it, &request))
        return;
    it->clear();
    request.receivedAtMs = clock_.elapsed();
    requests_.append(request);
    Answer canned;
    if (answers_.contains(request.path)) {
        canned = answers_.value(request.path);
    } else if (otherPaths_) {
        canned = *otherPaths_;
    } else {
        canned.status = 404;
        canned.body = "no answer for " + request.path;
    }
    respond(socket, canned);
}

void TestHttpServer::respond(QTcpSocket *socket, const Answer &answer)
{
    if (answer.fault == Fault::Stall)
        return;
    // The reason phrase is not read by anyone, so one serves for every status.
    QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + " Status\r\n";
    for (const auto &[name, value] : answer.headers)
        head += name + ": " + value + "\r\n";
    if (answer.fault == Fault::Chunked) {
        head += "Transfer-Encoding: chunked\r\n";
    } else if (headerValue(answer.headers, "Content-Length").isNull()) {
        const qint64 length = answer.fault == Fault::WrongLength ? answer.announcedLength : answer.body.size();
        head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    }
    head += "Connection: close\r\n\r\n";
    socket->write(head);

    switch (answer.fault) {
    case Fault::ResetMidBody: {
        socket->write(answer.body.left(answer.body.size() / 2));
        socket->flush();
        QTimer::singleShot(50, socket, [socket] {
            // SO_LINGER of zero turns the close into a reset.
            const struct linger reset{1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            socket->abort();
        });
        return;
    }
    case Fault::SlowBody:
    case Fault::Chunked: {
        auto *timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, sent, answer] {
            const QByteArray piece = answer.body.mid(*sent, answer.chunkBytes);
            const bool chunked = answer.fault == Fault::Chunked;
            socket->write(chunked ? QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n" : piece);
            *sent += answer.chunkBytes;
            if (*sent >= answer.body.size()) {
                if (chunked)
                    socket->write("0\r\n\r\n");
                timer->stop();
                socket->disconnectFromHost();
            }
        });
        timer->start(answer.chunkIntervalMs);
        return;
    }
    default:
        socket->write(answer.body);
        socket->disconnectFromHost();
        return;
    }
}
