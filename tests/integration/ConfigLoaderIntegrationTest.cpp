// The configuration loader against a server on 127.0.0.1: documents, faults, headers, the completion contract.

#include "TestEnv.h"
#include "TestHttpServer.h"

#include "config/QSConfig.h"
#include "config/QSConfigProvider.h"
#include "platform/NotificationCenter.h"
#include "telemetry/QSHttp.h"
#include "telemetry/QSPortalProvider.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QString kX64 = QStringLiteral("https://dl.example/x64.zip");
const QString kArm = QStringLiteral("https://dl.example/arm.zip");

QJsonObject entry(const QJsonObject &changes = {})
{
    const QJsonArray pages{QJsonObject{{"text1", "One"}}, QJsonObject{{"text1", "Two"}}};
    QJsonObject object{{"appName", "Corvala"}, {"latestBuildMacUrl", kX64}, {"latestBuildMacARMUrl", kArm},
                       {"latestBuildMac", "1.4.2"}, {"screens", QJsonArray{QJsonObject{{"locale", "en-US"}, {"content", pages}}}}};
    for (auto it = changes.begin(); it != changes.end(); ++it)
        it.value().isNull() ? void(object.remove(it.key())) : void(object.insert(it.key(), it.value()));
    return object;
}

QByteArray document(const QJsonArray &entries, QJsonObject top = {{"analyticsUrl", "https://a.example/events"},
                                                                  {"logUploadUrl", "https://logs.example/up/"}})
{
    top.insert("config", entries);
    return QJsonDocument(top).toJson(QJsonDocument::Compact);
}

bool onMainThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

struct Outcome {
    int calls = 0;
    std::shared_ptr<const QSConfig> config;
    std::optional<QSNetworkError> error;
};

class ConfigLoading : public ::testing::Test {
protected:
    void SetUp() override
    {
        env.setSetting(QStringLiteral("PRODUCTION_URL"), server.url(QStringLiteral("/config")).toString());
        for (const char *name : {"CHANGE_ANALYTICS_URL", "CHANGE_LOGUPLOAD_URL"}) {
            tokens << platform::NotificationCenter::defaultCenter().addObserver(name, [this](const platform::Notification &note) {
                // Posted on the main thread, before the completion runs.
                EXPECT_TRUE(onMainThread());
                EXPECT_EQ(outcome.calls, 0);
                notes << note.object;
            });
        }
    }
    void TearDown() override
    {
        for (const auto token : tokens)
            platform::NotificationCenter::defaultCenter().removeObserver(token);
        QSHttp::overrideTimeoutsForTesting(std::nullopt);
    }

    // Loads once and checks the completion contract: exactly once, after the call returned, on the main thread.
    Outcome load()
    {
        notes.clear();
        outcome = {};
        QFile::remove(env.logFilePath());
        QSConfigProvider::loadConfigWithCompletion([this](std::shared_ptr<const QSConfig> config, std::optional<QSNetworkError> error) {
            EXPECT_TRUE(onMainThread());
            ++outcome.calls;
            outcome.config = std::move(config);
            outcome.error = std::move(error);
        });
        EXPECT_EQ(outcome.calls, 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.calls > 0; }, 15000));
        QTest::qWait(30);  // room for a second, wrong call
        EXPECT_EQ(outcome.calls, 1);
        return outcome;
    }

    TestEnv env;
    TestHttpServer server;
    QList<platform::NotificationCenter::Token> tokens;
    QVariantList notes;
    Outcome outcome;
};

}  // namespace

TEST_F(ConfigLoading, UsableDocumentsGiveAConfigurationAndAnnounceTheirEndpoints)
{
    const struct {
        const char *name;
        QByteArray body = document({entry()});
        int status = 200;
        const char *m1Setting = "NO", *cpu = "Intel Core i7", *type = "x86_64";
        QString url = kX64, build = QStringLiteral("1.4.2");
        quint64 retries = 1, pages = 2;
        QVariantList endpoints = {QStringLiteral("https://a.example/events"), QStringLiteral("https://logs.example/up/")};
        bool slow = false;
        QString signature = {};
        int refusedEndpoints = 0;
    } rows[] = {
        {.name = "valid document"},
        {.name = "two entries: the last one wins",
         .body = document({entry({{"downloadRetryLimit", 5}}), QJsonObject{{"appName", "Other"}},
                           entry({{"latestBuildMacUrl", "https://dl.example/2.zip"}, {"latestBuildMac", "2.0"}, {"screens", QJsonValue::Null}})}),
         .url = QStringLiteral("https://dl.example/2.zip"), .build = QStringLiteral("2.0"), .pages = 0},
        // The limit is read as QSConfig::retryLimitFrom reads it (its own table covers the forms).
        {.name = "retry limit \"3\"", .body = document({entry({{"downloadRetryLimit", "3"}})}), .retries = 3},
        {.name = "YES on Apple M1", .m1Setting = "YES", .cpu = "Apple M1", .type = "ARM64E", .url = kArm},
        {.name = "yes on Apple M1", .m1Setting = "yes", .cpu = "Apple M1", .type = "ARM64E"},
        {.name = "status 404 with a valid document", .status = 404},
        {.name = "status 407 with a valid document", .status = 407},
        {.name = "addresses other than http or https count as missing",
         .body = document({entry()}, {{"analyticsUrl", "file:///tmp/victim.txt#"}, {"logUploadUrl", "ftp://logs.example/"}}),
         .endpoints = {QVariant(), QVariant()}, .refusedEndpoints = 2},
        {.name = "an empty address is missing without complaint", .body = document({entry()}, {{"analyticsUrl", ""}, {"logUploadUrl", "HTTPS://logs.example/up/"}}),
         .endpoints = {QString(""), QStringLiteral("HTTPS://logs.example/up/")}},
        {.name = "the Intel signature", .body = document({entry({{"latestBuildMacSignature", "x64 sig"}, {"latestBuildMacARMSignature", "arm sig"}})}),
         .signature = QStringLiteral("x64 sig")},
        {.name = "the ARM signature beside the ARM address",
         .body = document({entry({{"latestBuildMacSignature", "x64 sig"}, {"latestBuildMacARMSignature", "arm sig"}})}),
         .m1Setting = "YES", .cpu = "Apple M1", .type = "ARM64E", .url = kArm, .signature = QStringLiteral("arm sig")},
        {.name = "slow but steady: 8 pauses of 50 ms, longer in all than the idle time-out", .slow = true},
    };
    QSHttp::overrideTimeoutsForTesting(QSHttp::Timeouts{350ms, 10s});
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        env.setSetting(QStringLiteral("AppleM1Support"), QString::fromLatin1(row.m1Setting));
        env.host.report = QStringLiteral("Processor Name: %1\n").arg(QLatin1String(row.cpu));
        env.host.architecture = QString::fromLatin1(row.type);
        server.answer("/config", {row.status, {}, row.body, row.slow ? TestHttpServer::Fault::SlowBody : TestHttpServer::Fault::None,
                                  -1, int(row.body.size() / 8 + 1), 50});

        const Outcome result = load();
        ASSERT_TRUE(result.config);
        EXPECT_FALSE(result.error);
        const QSConfig &c = *result.config;
        EXPECT_EQ(std::tuple(c.latestMacURL, c.lastBuildNumberMac, c.downloadRetryLimit, c.infoScreensCount),
                  std::tuple(row.url, row.build, row.retries, row.pages));
        EXPECT_EQ(c.latestMacSignature, row.signature);
        // The endpoints are announced, and the analytics one recorded.
        EXPECT_EQ(notes, row.endpoints);
        EXPECT_EQ(env.logLines().filter("\"trace\": \"ERROR\"").filter("not an http or https address").size(),
                  row.refusedEndpoints);
        const QString analytics = row.endpoints[0].isValid() ? row.endpoints[0].toString() : QStringLiteral("(null)");
        EXPECT_FALSE(env.logLines()
                         .filter(QStringLiteral("\"message\":\" Analytics URL: %1\"").arg(analytics))
                         .filter("\"fn\": \"+[QSConfigProvider loadConfigWithCompletion:]\"")
                         .isEmpty());
    }

    // The first request as the server received it: our six headers in order.
    const TestHttpServer::Request &request = server.requests().first();
    EXPECT_EQ(request.method + ' ' + request.target, "GET /config");
    const QList<QByteArray> ours = {"appName", "ci", "os", "osVer", "country", "locale"};
    TestHttpServer::Headers received;
    std::copy_if(request.headers.begin(), request.headers.end(), std::back_inserter(received),
                 [&](const auto &header) { return ours.contains(header.first); });
    EXPECT_EQ(received, TestHttpServer::Headers({{"appName", "CORVALA"}, {"ci", QSPortalProvider::getCi().toUtf8()}, {"os", "linux"},
                                                 {"osVer", "6.1.0"}, {"country", "US"}, {"locale", "en-US"}}));
    EXPECT_TRUE(hasLineStartingWith(env.consoleLines, QStringLiteral("GET request header {appName: CORVALA, ci: ")));
}

// An unusable document gives neither configuration nor error; a failed transfer gives the error,
// within the time-outs.
TEST_F(ConfigLoading, UnusableDocumentsAndFailedTransfersGiveNoConfiguration)
{
    const char *unusable = "Corrupt download URL on config. Config:  <QSConfig ";
    const struct {
        QByteArray body = document({entry()});
        int status = 200;
        const char *record = nullptr;  // in the document's ERROR record; none: a failed transfer
        TestHttpServer::Fault fault = TestHttpServer::Fault::None;
        std::optional<QSHttp::Timeouts> timeouts{};
        const char *description = "";  // in the transfer's error
        bool refused = false;
    } rows[] = {
        {.body = "<html><body><h1>502 Bad Gateway</h1></body></html>", .status = 502, .record = "Load installer configuration failed "},
        {.body = "[{\"config\":[]}]", .record = "Load installer configuration failed the top level of the document is not an object"},
        {.body = "{\"pad\":\"" + QByteArray(4 << 20, 'x') + "\"}",
         .record = "Load installer configuration failed the document is larger than 4194304 bytes"},
        // The entry's other faults are QSConfig's own table; here the one that depends on the machine.
        {.body = document({entry({{"latestBuildMacUrl", QJsonValue::Null}})}), .record = unusable},  // ARM download only, on Intel
        {.description = "refused", .refused = true},
        {.fault = TestHttpServer::Fault::Stall, .timeouts = {{10s, 400ms}}, .description = "did not finish within 400 ms"},
        {.fault = TestHttpServer::Fault::Stall, .timeouts = {{300ms, 10s}}, .description = "nothing was sent or received for 300 ms"},
        {.fault = TestHttpServer::Fault::WrongLength},  // the body ends before the announced length
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.record ? row.body.left(60).constData() : row.description);
        TestHttpServer local;
        local.answer("/config", {row.status, {}, row.body, row.fault, row.body.size() * 2});
        if (row.refused)
            local.refuse();
        const QString url = local.url(QStringLiteral("/config")).toString();
        env.setSetting(QStringLiteral("PRODUCTION_URL"), url);
        QSHttp::overrideTimeoutsForTesting(row.timeouts);

        QElapsedTimer clock;
        clock.start();
        const Outcome result = load();
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_FALSE(result.config);
        EXPECT_TRUE(notes.isEmpty());
        ASSERT_EQ(result.error.has_value(), !row.record);
        const QStringList records = row.record ? env.logLines().filter("\"trace\": \"ERROR\"").filter(QString::fromLatin1(row.record))
            : env.logLines().filter(QStringLiteral("\"trace\": \"DEBUG\", \"message\":\" Request OK: errorCode: %1 errorDescription: ")
                                        .arg(result.error->code)).filter(" url:" + url + "\"");
        EXPECT_FALSE(records.isEmpty());
        EXPECT_TRUE(!result.error || result.error->description.contains(QLatin1String(row.description)))
            << result.error->description.toStdString();
    }
}
