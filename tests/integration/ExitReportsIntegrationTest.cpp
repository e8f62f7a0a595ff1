// The analytics batch POST and the run-log upload PUT made while quitting, as a server on 127.0.0.1 receives them.

#include "TestEnv.h"
#include "TestHttpServer.h"

#include "telemetry/QSAnalyticSender.h"
#include "telemetry/QSAnalyticsLogger.h"
#include "telemetry/QSHttp.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSPortalProvider.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

static QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ExitReports : public ::testing::Test {
protected:
    void TearDown() override { QSHttp::overrideTimeoutsForTesting(std::nullopt); }

    // Uploads; the completion must have run once, on this thread, when the call returns.
    QSAnalyticsLogger::Response upload(const QString &base)
    {
        int calls = 0;
        QSAnalyticsLogger::Response seen;
        QSAnalyticsLogger::uploadTinyLogToS3(base, [&](const QSAnalyticsLogger::Response &response) {
            ++calls;
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            seen = response;
        });
        EXPECT_EQ(calls, 1);
        return seen;
    }

    TestEnv env;
    TestHttpServer server;
};

// Whatever the status, an answer is an answer: the upload's completion gets the status and the
// body, and the analytics sender records no error.
TEST_F(ExitReports, UploadPutsTheRunLogUnchangedUnderTheClientsFolderAndAMissingOneAsAnEmptyBody)
{
    QSLogger::error(QStringLiteral("ünïcode and \"quotes\""), QS_LOG_CONTEXT("-[AppDelegate applicationWillTerminate:]"));
    const QByteArray log = fileBytes(env.logFilePath());
    for (const int status : {200, 400, 407, 418, 500}) {
        SCOPED_TRACE(status);
        server.answerOtherPaths({.status = status, .body = "answer"});
        const QString base = server.url(QStringLiteral("/logs/")).toString();
        const QSAnalyticsLogger::Response response = upload(base);
        EXPECT_TRUE(response.statusCode == status && response.data == "answer" && !response.error);

        const TestHttpServer::Request &request = server.requests().last();
        const QString target = QString::fromUtf8(request.target);
        const QRegularExpression expected(
            QStringLiteral("^/logs/%1/tiny-\\d{4}-\\d\\d-\\d\\dT\\d\\d-\\d\\d-\\d\\d\\.log$").arg(QSPortalProvider::getCi()));
        EXPECT_TRUE(request.method == "PUT" && expected.match(target).hasMatch()) << request.target.constData();
        EXPECT_EQ(request.header("Content-Type"), "application/json");
        EXPECT_EQ(request.body, log);
        EXPECT_EQ(fileBytes(env.logFilePath()), log);  // the uploader writes nothing to the log
        EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("Log Upload URL: %1%2").arg(base, target.mid(6))));

        QSAnalyticSender::sendAll({QStringLiteral("line")}, server.url(QStringLiteral("/events")));
        EXPECT_TRUE(env.logLines().filter(QStringLiteral("Analytics send error")).isEmpty()) << env.logLines().join('\n').toStdString();
        ASSERT_EQ(fileBytes(env.logFilePath()), log);  // the next upload sends the same log again
    }
    QFile::remove(env.logFilePath());
    EXPECT_EQ(upload(server.url(QStringLiteral("/")).toString()).statusCode, 500);
    EXPECT_TRUE(server.requests().last().method == "PUT" && server.requests().last().body.isEmpty());
    EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("Log File content: (null)")));
}

TEST_F(ExitReports, AnalyticsBatchIsPostedAsItsExactBytes)
{
    server.answerOtherPaths({});
    const QStringList lines = {QSAnalyticSender::getMessage(QStringLiteral("Start"), {}),
                               QSAnalyticSender::getMessage(QStringLiteral("Install"), {{"RSN", "a&b=c+d %20 é/ü"}}),
                               QSAnalyticSender::getMessage(QStringLiteral("End"), {})};
    QSAnalyticSender::sendAll(lines, server.url(QStringLiteral("/events")));

    ASSERT_EQ(server.requests().size(), 1);
    const TestHttpServer::Request &request = server.requests().first();
    EXPECT_EQ(request.method + ' ' + request.target, "POST /events");
    EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
    const QByteArray expected = lines.join(QStringLiteral("\r\n")).toUtf8();  // nothing form-encoded
    EXPECT_EQ(request.body, expected);
    EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("ANALYTICS: %1").arg(QString::fromUtf8(expected))));
}

TEST_F(ExitReports, FailedRequestsEndWithinTheirDeadline)
{
    using Fault = TestHttpServer::Fault;
    QSHttp::overrideTimeoutsForTesting(QSHttp::Timeouts{10s, 500ms});
    for (const Fault fault : {Fault::None /* refused */, Fault::Stall, Fault::ResetMidBody}) {
        SCOPED_TRACE(int(fault));
        TestHttpServer local;
        local.answerOtherPaths({.body = QByteArray(4096, 'x'), .fault = fault});
        if (fault == Fault::None)
            local.refuse();
        QFile::remove(env.logFilePath());
        env.consoleLines.clear();

        QElapsedTimer clock;
        clock.start();
        QSAnalyticSender::sendAll({QStringLiteral("line")}, local.url(QStringLiteral("/events")));
        const QSAnalyticsLogger::Response response = upload(local.url(QStringLiteral("/")).toString());
        EXPECT_LT(clock.elapsed(), 4000);  // two requests, each bounded by the 0.5 s deadline

        // The POST: one ERROR record, then the body on the console as usual.
        const QStringList records = env.logLines();
        EXPECT_TRUE(records.size() == 1 && records[0].contains("\"trace\": \"ERROR\", \"message\":\" Analytics send error ") &&
                    records[0].contains("\"fn\": \"+[QSAnalyticSender send:url:]\"")) << records.join('\n').toStdString();
        EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("ANALYTICS: line")));
        // The upload: the error goes to the completion, without data or status.
        EXPECT_TRUE(response.error && response.data.isNull() && response.statusCode == 0);
    }
}

// A server that answers every request with a 200 MiB body, handed to the socket only as fast as
// the other side takes it, and counts what it got rid of.
class EndlessAnswer {
public:
    EndlessAnswer()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            QTcpSocket *socket = server_.nextPendingConnection();
            auto request = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
                request->append(socket->readAll());
                const qsizetype headEnd = request->indexOf("\r\n\r\n");
                if (headEnd < 0 || answered_)
                    return;
                const qsizetype lengthAt = request->toLower().indexOf("content-length:");
                const qint64 length = lengthAt < 0 ? 0 : request->mid(lengthAt + 15, request->indexOf('\r', lengthAt) - lengthAt - 15).trimmed().toLongLong();
                if (request->size() < headEnd + 4 + length)
                    return;
                answered_ = true;
                socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(kTotal) + "\r\n\r\n");
                feed(socket);
            });
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [this, socket] { feed(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        });
    }
    QUrl url(const QString &path) const { return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path)); }
    qint64 handedOver() const { return handedOver_; }

    static constexpr qint64 kTotal = qint64(200) << 20;

private:
    void feed(QTcpSocket *socket)
    {
        const QByteArray chunk(1 << 20, 'x');
        while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < (1 << 20) && handedOver_ < kTotal) {
            socket->write(chunk);
            handedOver_ += chunk.size();
        }
    }

    QTcpServer server_;
    qint64 handedOver_ = 0;
    bool answered_ = false;
};

TEST_F(ExitReports, AHugeAnswerIsCutShortNotReadToItsEnd)
{
    EndlessAnswer upload;
    QElapsedTimer clock;
    clock.start();
    const QSAnalyticsLogger::Response response = this->upload(upload.url(QStringLiteral("/logs/")).toString());
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.data.size(), QSAnalyticsLogger::kMaxAnswerBytes);
    EXPECT_LT(upload.handedOver(), EndlessAnswer::kTotal / 4) << "the answer was read far past its bound";

    EndlessAnswer analytics;
    QSAnalyticSender::sendAll({QStringLiteral("line")}, analytics.url(QStringLiteral("/events")));
    EXPECT_LT(analytics.handedOver(), EndlessAnswer::kTotal / 4);
    EXPECT_TRUE(env.logLines().filter(QStringLiteral("Analytics send error")).isEmpty());
}
