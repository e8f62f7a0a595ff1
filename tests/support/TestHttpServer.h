#pragma once
// A programmable HTTP/1.1 server for tests, on 127.0.0.1 and a port of the system's choice. Each
// path gets a canned answer (status, headers, body) or a fault; every request is recorded with
// its method, target, headers in the order they arrived, and body. One request per connection;
// every answer says "Connection: close". Runs on the thread that made it, in its event loop.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPair>
#include <QTcpServer>
#include <QUrl>

#include <optional>

class QTcpSocket;

class TestHttpServer {
public:
    enum class Fault {
        None,
        Stall,         // read the request, never answer, keep the connection open
        ResetMidBody,  // send the head and half the body, then reset the connection
        WrongLength,   // announce announcedLength as Content-Length, send the body, close
        SlowBody,      // send the body in chunks of chunkBytes every chunkIntervalMs
        Chunked,       // no Content-Length: the body in chunked coding, chunkBytes every chunkIntervalMs
    };
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    struct Answer {
        int status = 200;
        Headers headers{};
        QByteArray body{};
        Fault fault = Fault::None;
        qint64 announcedLength = -1;
        int chunkBytes = 64;
        int chunkIntervalMs = 20;
    };

    struct Request {
        QByteArray method;
        QByteArray target;  // as sent, with any query
        QByteArray path;    // without the query
        Headers headers{};
        QByteArray body{};
        qint64 receivedAtMs = 0;  // when the request was complete, in ms since the server started
        // The first value of a header, its name compared without case; null when absent.
        QByteArray header(const QByteArray &name) const;
    };

    TestHttpServer();
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer &) = delete;
    TestHttpServer &operator=(const TestHttpServer &) = delete;

    // The answer for a path (without query); paths without one get 404 "no answer for <path>"
    // unless answerOtherPaths has set another.
    void answer(const QByteArray &path, const Answer &answer);
    // The answer for every path that has none of its own.
    void answerOtherPaths(const Answer &answer);

    QUrl url(const QString &path) const;
    // Stops listening: later connections to the port are refused.
    void refuse();

    const QList<Request> &requests() const { return requests_; }

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const Answer &answer);

    QTcpServer server_;
    quint16 port_ = 0;
    QHash<QByteArray, Answer> answers_;
    std::optional<Answer> otherPaths_;
    QHash<QTcpSocket *, QByteArray> buffers_;
    QList<Request> requests_;
    QElapsedTimer clock_;
};
