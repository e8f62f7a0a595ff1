// The configuration request and the two requests of the end of a run (the analytics batch, the
// run-log upload) against servers on 127.0.0.1: documents, faults, headers, bodies, deadlines.
#include "TestEnv.h"
#include "TestHttpServer.h"

#include "config/QSConfig.h"
#include "config/QSConfigProvider.h"
#include "platform/NotificationCenter.h"
#include "telemetry/QSAnalyticSender.h"
#include "telemetry/QSAnalyticsLogger.h"
#include "telemetry/QSHttp.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSNotificationNames.h"
#include "telemetry/QSPortalProvider.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Fault = TestHttpServer::Fault;

namespace {

const QString kX64 = QStringLiteral("https://dl.example/x64.zip"), kArm = QStringLiteral("https://dl.example/arm.zip");

QJsonObject entry(const QJsonObject &changes = {})
{
    const QJsonArray pages{QJsonObject{{"text1", "One"}}, QJsonObject{{"text1", "Two"}}};
    QJsonObject object{{"appName", "Corvala"}, {"latestBuildMacUrl", kX64}, {"latestBuildMacARMUrl", kArm},
                       {"latestBuildMac", "1.4.2"}, {"latestBuildMacSignature", "x64 sig"},
                       {"latestBuildMacARMSignature", "arm sig"}, {"screens", QJsonArray{QJsonObject{{"locale", "en-US"}, {"content", pages}}}}};
    for (auto it = changes.begin(); it != changes.end(); ++it)
        it.value().isNull() ? void(object.remove(it.key())) : void(object.insert(it.key(), it.value()));
    return object;
}

QByteArray document(const QJsonArray &entries,
                    QJsonObject top = {{"analyticsUrl", "https://a.example/events"}, {"logUploadUrl", "https://logs.example/up/"}})
{
    top.insert("config", entries);
    return QJsonDocument(top).toJson(QJsonDocument::Compact);
}

bool onMainThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

class Services : public ::testing::Test {
protected:
    Services()
    {
        for (const QString &name : {QSNotificationNames::kChangeAnalyticsUrl, QSNotificationNames::kChangeLogUploadUrl}) {
            tokens << platform::NotificationCenter::defaultCenter().addObserver(name, [this](const platform::Notification &note) {
                EXPECT_TRUE(onMainThread() && !loaded) << "announced on the main thread, before the completion runs";
                endpoints << note.object;
            });
        }
    }
    ~Services() override
    {
        for (const auto token : tokens)
            platform::NotificationCenter::defaultCenter().removeObserver(token);
        QSHttp::overrideTimeoutsForTesting(std::nullopt);
    }

    // Loads from url once; the completion runs exactly once, after the call returned, on the main thread.
    std::pair<std::shared_ptr<const QSConfig>, std::optional<QSNetworkError>> load(const QUrl &url)
    {
        env.setSetting(QStringLiteral("PRODUCTION_URL"), url.toString());
        endpoints.clear();
        QFile::remove(env.logFilePath());
        int calls = 0;
        loaded = false;
        std::pair<std::shared_ptr<const QSConfig>, std::optional<QSNetworkError>> outcome;
        QSConfigProvider::loadConfigWithCompletion([&](std::shared_ptr<const QSConfig> config, std::optional<QSNetworkError> error) {
            EXPECT_TRUE(onMainThread());
            ++calls, loaded = true;
            outcome = {std::move(config), std::move(error)};
        });
        EXPECT_EQ(calls, 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 15000));
        QTest::qWait(30);  // room for a second, wrong call
        EXPECT_EQ(calls, 1);
        return outcome;
    }
    // Uploads the run log; the completion must have run once, on this thread, when the call returns.
    QSAnalyticsLogger::Response upload(const QString &base)
    {
        int calls = 0;
        QSAnalyticsLogger::Response seen;
        QSAnalyticsLogger::uploadTinyLogToS3(base, [&](const QSAnalyticsLogger::Response &response) {
            ++calls;
            EXPECT_TRUE(onMainThread());
            seen = response;
        });
        EXPECT_EQ(calls, 1);
        return seen;
    }

    TestEnv env;
    TestHttpServer server;
    QList<platform::NotificationCenter::Token> tokens;
    QVariantList endpoints;
    bool loaded = false;
};

}  // namespace

TEST_F(Services, UsableConfigurationsAnnounceTheirEndpointsAndNameTheArchiveOfThisMachine)
{
    const struct {
        const char *name;
        QByteArray body = document({entry()});
        int status = 200;
        bool arm = false;  // an Apple M1 with "AppleM1Support" YES
        QString url = kX64, signature = QStringLiteral("x64 sig");
        QVariantList endpoints = {QStringLiteral("https://a.example/events"), QStringLiteral("https://logs.example/up/")};
        bool slow = false;
    } rows[] = {
        {.name = "valid document"},
        {.name = "status 407 with a valid document", .status = 407},
        {.name = "addresses other than http or https count as missing",
         .body = document({entry({{"latestBuildMacSignature", "x64 sig"}})}, {{"analyticsUrl", "file:///tmp/victim.txt#"}, {"logUploadUrl", "ftp://logs.example/"}}),
         .endpoints = {QVariant(), QVariant()}},
        {.name = "an empty address is missing", .body = document({entry({{"latestBuildMacSignature", "x64 sig"}})}, {{"analyticsUrl", ""}, {"logUploadUrl", "HTTPS://logs.example/up/"}}),
         .endpoints = {QString(""), QStringLiteral("HTTPS://logs.example/up/")}},
        {.name = "the ARM address and signature", .arm = true, .url = kArm, .signature = QStringLiteral("arm sig")},
        {.name = "slow but steady: 8 pauses of 50 ms, longer in all than the idle time-out", .slow = true},
    };
    QSHttp::overrideTimeoutsForTesting(QSHttp::Timeouts{350ms, 10s});
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        env.setSetting(QStringLiteral("AppleM1Support"), row.arm ? "YES" : "NO");
        env.host.report = row.arm ? "Processor Name: Apple M1\n" : "Processor Name: Intel Core i7\n";
        env.host.architecture = row.arm ? "ARM64E" : "x86_64";
        server.answer("/config", {row.status, {}, row.body, row.slow ? Fault::SlowBody : Fault::None, -1, int(row.body.size() / 8 + 1), 50});

        const auto [config, error] = load(server.url("/config"));
        ASSERT_TRUE(config);
        EXPECT_FALSE(error);
        // The document's own rules are QSConfig's table; here what depends on the machine.
        EXPECT_EQ(std::pair(config->latestMacURL, config->latestMacSignature), std::pair(row.url, row.signature));
        EXPECT_EQ(endpoints, row.endpoints);
        EXPECT_EQ(env.logLines().filter("\"trace\": \"ERROR\"").filter("not an http or https address").size(),
                  row.endpoints[0].isNull() ? 2 : 0);
        const QString analytics = row.endpoints[0].isNull() ? QStringLiteral("(null)") : row.endpoints[0].toString();
        EXPECT_FALSE(env.logLines().filter(QStringLiteral("\"message\":\" Analytics URL: %1\"").arg(analytics)).isEmpty());
    }
    // The request as the server received it: our six headers in order.
    const TestHttpServer::Request &request = server.requests().first();
    EXPECT_EQ(request.method + ' ' + request.target, "GET /config");
    EXPECT_EQ(request.header("Cache-Control") + request.header("Pragma"), "");  // no cache policy of ours
    const QList<QByteArray> ours = {"appName", "ci", "os", "osVer", "country", "locale"};
    TestHttpServer::Headers received;
    std::copy_if(request.headers.begin(), request.headers.end(), std::back_inserter(received), [&](const auto &h) { return ours.contains(h.first); });
    EXPECT_EQ(received, TestHttpServer::Headers({{"appName", "CORVALA"}, {"ci", QSPortalProvider::getCi().toUtf8()}, {"os", "linux"},
                                                 {"osVer", "6.1.0"}, {"country", "US"}, {"locale", "en-US"}}));
    EXPECT_TRUE(hasLineStartingWith(env.consoleLines, QStringLiteral("GET request header {appName: CORVALA, ci: ")));
}

// An unusable document gives neither configuration nor error; a failed transfer gives the error,
// within the time-outs.
TEST_F(Services, UnusableConfigurationsAndFailedTransfersGiveNoConfiguration)
{
    const struct {
        QByteArray body = document({entry()});
        int status = 200;
        const char *record = nullptr;  // in the document's ERROR record; none: a failed transfer
        Fault fault = Fault::None;
        std::optional<QSHttp::Timeouts> timeouts{};
        const char *description = "";  // in the transfer's error
        bool refused = false;
    } rows[] = {
        {.body = "<html><body><h1>502 Bad Gateway</h1></body></html>", .status = 502, .record = "Load installer configuration failed "},
        {.body = "[{\"config\":[]}]", .record = "Load installer configuration failed the top level of the document is not an object"},
        {.body = "{\"pad\":\"" + QByteArray(4 << 20, 'x') + "\"}", .record = "the document is larger than 4194304 bytes"},
        {.body = document({entry({{"latestBuildMacUrl", QJsonValue::Null}})}), .record = "Corrupt download URL on config. Config:  <QSConfig "},
        {.description = "refused", .refused = true},
        {.fault = Fault::Stall, .timeouts = {{10s, 400ms}}, .description = "did not finish within 400 ms"},
        {.fault = Fault::Stall, .timeouts = {{300ms, 10s}}, .description = "nothing was sent or received for 300 ms"},
        {.fault = Fault::WrongLength},  // the body ends before the announced length
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.record ? row.body.left(60).constData() : row.description);
        TestHttpServer local;
        local.answer("/config", {row.status, {}, row.body, row.fault, row.body.size() * 2});
        if (row.refused)
            local.refuse();
        QSHttp::overrideTimeoutsForTesting(row.timeouts);
        QElapsedTimer clock;
        clock.start();
        const auto [config, error] = load(local.url("/config"));
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_FALSE(config);
        EXPECT_TRUE(endpoints.isEmpty());
        ASSERT_EQ(error.has_value(), !row.record);
        EXPECT_FALSE(env.logLines().filter(row.record ? row.record : "Request OK: errorCode: ").isEmpty());
        EXPECT_TRUE(!error || error->description.contains(QLatin1String(row.description))) << error->description.toStdString();
    }
}

// The batch goes out as its exact bytes, events joined by CR LF, nothing form-encoded.
TEST_F(Services, TheAnalyticsBatchIsPostedAsItsExactBytes)
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
    EXPECT_EQ(request.body, lines.join(QStringLiteral("\r\n")).toUtf8());
    EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("ANALYTICS: ") + lines.join(QStringLiteral("\r\n"))));
}

// Whatever the status, an answer is an answer: the upload's completion gets the status and the
// body. (Which answers let the installer's end delete the run log: the shell's EndAnswers.)
TEST_F(Services, TheRunLogIsPutUnchangedWhateverTheAnswer)
{
    QSLogger::error(QStringLiteral("ünïcode and \"quotes\""), QS_LOG_CONTEXT("-[AppDelegate applicationWillTerminate:]"));
    const QByteArray log = readFile(env.logFilePath());
    for (const int status : {200, 500}) {
        server.answerOtherPaths({.status = status, .body = "answer"});
        const QString base = server.url(QStringLiteral("/logs/")).toString();
        const QSAnalyticsLogger::Response response = upload(base);
        EXPECT_TRUE(response.statusCode == status && response.data == "answer" && !response.error);
        const TestHttpServer::Request &request = server.requests().last();
        const QRegularExpression target(QStringLiteral("^/logs/%1/tiny-\\d{4}-\\d\\d-\\d\\dT\\d\\d-\\d\\d-\\d\\d\\.log$").arg(QSPortalProvider::getCi()));
        EXPECT_TRUE(request.method == "PUT" && target.match(QString::fromUtf8(request.target)).hasMatch()) << request.target.constData();
        EXPECT_EQ(request.header("Content-Type"), "application/json");
        EXPECT_EQ(request.body, log);
        ASSERT_EQ(readFile(env.logFilePath()), log);  // the uploader writes nothing to the log
        EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("Log Upload URL: %1%2").arg(base, QString::fromUtf8(request.target.mid(6)))));
    }
    QFile::remove(env.logFilePath());
    upload(server.url(QStringLiteral("/")).toString());
    EXPECT_TRUE(server.requests().last().method == "PUT" && server.requests().last().body.isEmpty());
    EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("Log File content: (null)")));
}

// A server that answers with 200 MiB, handed to the socket only as fast as the other side takes
// it: both requests stop reading at their bound.
TEST_F(Services, AHugeAnswerIsCutShortNotReadToItsEnd)
{
    const qint64 total = qint64(200) << 20;
    QTcpServer endless;
    ASSERT_TRUE(endless.listen(QHostAddress::LocalHost));
    qint64 handedOver = 0;
    QObject::connect(&endless, &QTcpServer::newConnection, [&] {
        QTcpSocket *socket = endless.nextPendingConnection();
        const auto feed = [socket, &handedOver, total] {
            while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < (1 << 20) && handedOver < total)
                handedOver += socket->write(QByteArray(1 << 20, 'x'));
        };
        auto request = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, feed, request] {
            request->append(socket->readAll());
            const qsizetype head = request->indexOf("\r\n\r\n");
            const QRegularExpressionMatch length =
                QRegularExpression(QStringLiteral("(?i)content-length: *(\\d+)")).match(QString::fromLatin1(request->left(head)));
            if (head < 0 || socket->property("answered").toBool() || request->size() < head + 4 + length.captured(1).toLongLong())
                return;
            socket->setProperty("answered", true);
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(qint64(200) << 20) + "\r\n\r\n");
            feed();
        });
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, feed);
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    });
    const QString url = QStringLiteral("http://127.0.0.1:%1/logs/").arg(endless.serverPort());
    EXPECT_EQ(upload(url).data.size(), QSAnalyticsLogger::kMaxAnswerBytes);
    EXPECT_LT(handedOver, total / 4) << "the answer was read far past its bound";
    handedOver = 0;
    QSAnalyticSender::sendAll({QStringLiteral("line")}, QUrl(url));
    EXPECT_LT(handedOver, total / 4);
}
