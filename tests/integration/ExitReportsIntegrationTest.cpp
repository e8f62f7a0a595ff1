// The two requests made while quitting, against a server on 127.0.0.1: the analytics batch POST
// and the run-log upload PUT, as the server receives them, and their bounded waits.

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
#include <QThread>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

QByteArray fileBytes(const QString &path)
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

}  // namespace

TEST_F(ExitReports, UploadPutsTheRunLogUnchangedUnderTheClientsFolder)
{
    QSLogger::error(QStringLiteral("ünïcode and \"quotes\""), QS_LOG_CONTEXT("-[AppDelegate applicationWillTerminate:]"));
    const QByteArray log = fileBytes(env.logFilePath());
    for (const int status : {200, 403, 500}) {
        SCOPED_TRACE(status);
        server.answerOtherPaths({.status = status, .body = "answer"});
        const QString base = server.url(QStringLiteral("/logs/")).toString();
        const QSAnalyticsLogger::Response response = upload(base);
        EXPECT_EQ(response.statusCode, status);
        EXPECT_EQ(response.data, "answer");
        EXPECT_FALSE(response.error);

        const TestHttpServer::Request &request = server.requests().last();
        EXPECT_EQ(request.method, "PUT");
        const QString target = QString::fromUtf8(request.target);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^/logs/%1/tiny-\\d{4}-\\d\\d-\\d\\dT\\d\\d-\\d\\d-\\d\\d\\.log$")
                                           .arg(QSPortalProvider::getCi()))
                        .match(target)
                        .hasMatch())
            << request.target.constData();
        EXPECT_EQ(request.header("Content-Type"), "application/json");
        EXPECT_EQ(request.body, log);
        EXPECT_EQ(fileBytes(env.logFilePath()), log);  // the uploader writes nothing to the log
        EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("Log Upload URL: %1%2").arg(base, target.mid(6))));
    }
}

TEST_F(ExitReports, MissingLogIsUploadedAsAnEmptyBody)
{
    server.answerOtherPaths({});
    EXPECT_EQ(upload(server.url(QStringLiteral("/")).toString()).statusCode, 200);
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().method, "PUT");
    EXPECT_TRUE(server.requests().first().body.isEmpty());
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
    EXPECT_EQ(request.body.count("\r\n"), 2);
    EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("ANALYTICS: %1").arg(QString::fromUtf8(expected))));
    EXPECT_TRUE(env.logLines().isEmpty());  // a delivered batch leaves no record
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
        ASSERT_EQ(records.size(), 1);
        EXPECT_TRUE(records.first().contains(QStringLiteral("\"trace\": \"ERROR\", \"message\":\" Analytics send error ")));
        EXPECT_TRUE(records.first().contains(QStringLiteral("\"fn\": \"+[QSAnalyticSender send:url:]\"")));
        EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("ANALYTICS: line")));
        // The upload: the error goes to the completion, without data or status.
        EXPECT_TRUE(response.error);
        EXPECT_TRUE(response.data.isNull());
        EXPECT_EQ(response.statusCode, 0);
    }
}
