// The configuration loader against a server on 127.0.0.1: documents, faults, headers, and the
// completion contract (exactly once, later, on the main thread).

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

bool anyRecordContains(const QStringList &records, const QStringList &parts)
{
    return std::any_of(records.begin(), records.end(), [&](const QString &record) {
        return std::all_of(parts.begin(), parts.end(), [&](const QString &part) { return record.contains(part); });
    });
}

bool onMainThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

struct Outcome {
    int calls = 0;
    std::shared_ptr<const QSConfig> config;
    std::optional<QSNetworkError> error;
};

class ConfigLoading : public ::testing::Test {
protected:
    void SetUp() override
    {
        pointAt(server.url(QStringLiteral("/config")).toString());
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

    void pointAt(const QString &url) { env.setSetting(QStringLiteral("PRODUCTION_URL"), url); }

    // Loads once and checks the completion contract: exactly once, after the call returned, on
    // the main thread.
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

TEST_F(ConfigLoading, UsableDocumentsGiveAConfiguration)
{
    const struct {
        const char *name;
        QByteArray body;
        int status = 200;
        const char *m1Setting = "NO", *cpu = "Intel Core i7", *type = "x86_64";
        QString url = kX64, build = QStringLiteral("1.4.2");
        quint64 retries = 1, pages = 2;
    } rows[] = {
        {.name = "valid document", .body = document({entry()})},
        {.name = "two entries: the last one wins",
         .body = document({entry({{"downloadRetryLimit", 5}}), QJsonObject{{"appName", "Other"}},
                           entry({{"latestBuildMacUrl", "https://dl.example/2.zip"}, {"latestBuildMac", "2.0"}, {"screens", QJsonValue::Null}})}),
         .url = QStringLiteral("https://dl.example/2.zip"), .build = QStringLiteral("2.0"), .pages = 0},
        {.name = "retry limit 0", .body = document({entry({{"downloadRetryLimit", 0}})})},
        {.name = "retry limit \"abc\"", .body = document({entry({{"downloadRetryLimit", "abc"}})})},
        {.name = "retry limit \"3\"", .body = document({entry({{"downloadRetryLimit", "3"}})}), .retries = 3},
        {.name = "retry limit 3", .body = document({entry({{"downloadRetryLimit", 3}})}), .retries = 3},
        {.name = "YES on Apple M1", .body = document({entry()}), .m1Setting = "YES", .cpu = "Apple M1", .type = "ARM64E", .url = kArm},
        {.name = "yes on Apple M1", .body = document({entry()}), .m1Setting = "yes", .cpu = "Apple M1", .type = "ARM64E"},
        {.name = "YES on Intel", .body = document({entry()}), .m1Setting = "YES"},
        {.name = "ARM download only, YES on Apple M2", .body = document({entry({{"latestBuildMacUrl", QJsonValue::Null}})}),
         .m1Setting = "YES", .cpu = "Apple M2", .type = "ARM64E", .url = kArm},
        {.name = "status 404 with a valid document", .body = document({entry()}), .status = 404},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        env.setSetting(QStringLiteral("AppleM1Support"), QString::fromLatin1(row.m1Setting));
        env.host.report = QStringLiteral("Processor Name: %1\n").arg(QLatin1String(row.cpu));
        env.host.architecture = QString::fromLatin1(row.type);
        server.answerJson("/config", row.body, row.status);

        const Outcome result = load();
        ASSERT_TRUE(result.config);
        EXPECT_FALSE(result.error);
        EXPECT_EQ(result.config->latestMacURL, row.url);
        EXPECT_EQ(result.config->lastBuildNumberMac, row.build);
        EXPECT_EQ(result.config->downloadRetryLimit, row.retries);
        EXPECT_EQ(result.config->infoScreensCount, row.pages);
    }
}

TEST_F(ConfigLoading, UnusableDocumentsGiveNeitherConfigurationNorError)
{
    const char *undecodable = "Load installer configuration failed ";
    const char *unusable = "Corrupt download URL on config. Config:  <QSConfig ";
    const std::tuple<QByteArray, int, const char *> rows[] = {
        {"<html><body><h1>502 Bad Gateway</h1></body></html>", 502, undecodable},
        {"[{\"config\":[]}]", 200, "Load installer configuration failed the top level of the document is not an object"},
        {"", 200, undecodable},
        {"{\"pad\":\"" + QByteArray(4 << 20, 'x') + "\"}", 200,
         "Load installer configuration failed the document is larger than 4194304 bytes"},
        {"{\"config\":[\"Corvala\"]}", 200, unusable},
        {document({entry({{"latestBuildMacUrl", QJsonValue::Null}})}), 200, unusable},  // ARM download only, on Intel
        {document({entry({{"latestBuildMac", QJsonValue::Null}})}), 200, unusable},
    };
    for (const auto &[body, status, record] : rows) {
        SCOPED_TRACE(body.left(60).constData());
        server.answerJson("/config", body, status);
        const Outcome result = load();
        EXPECT_FALSE(result.config);
        EXPECT_FALSE(result.error);
        EXPECT_TRUE(notes.isEmpty());
        EXPECT_TRUE(anyRecordContains(env.logLines(), {QStringLiteral("\"trace\": \"ERROR\""), QString::fromLatin1(record)}));
    }
}

TEST_F(ConfigLoading, TransportFailuresGiveTheErrorWithinTheTimeOuts)
{
    using Fault = TestHttpServer::Fault;
    const struct {
        const char *name;
        Fault fault;
        QSHttp::Timeouts timeouts;
        const char *description;
    } rows[] = {
        {"refused", Fault::None, {10s, 10s}, "refused"},
        {"stall: the deadline fires", Fault::Stall, {10s, 400ms}, "did not finish within 400 ms"},
        {"stall: the idle time-out fires", Fault::Stall, {300ms, 10s}, "nothing was sent or received for 300 ms"},
        {"reset in the middle of the body", Fault::ResetMidBody, {10s, 10s}, ""},
        {"body shorter than announced", Fault::WrongLength, {10s, 10s}, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        TestHttpServer local;
        TestHttpServer::Answer answer{.body = document({entry()}), .fault = row.fault};
        answer.announcedLength = answer.body.size() * 2;
        local.answer("/config", answer);
        if (row.fault == Fault::None)
            local.refuse();
        const QString url = local.url(QStringLiteral("/config")).toString();
        pointAt(url);
        QSHttp::overrideTimeoutsForTesting(row.timeouts);

        QElapsedTimer clock;
        clock.start();
        const Outcome result = load();
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_FALSE(result.config);
        ASSERT_TRUE(result.error);
        EXPECT_TRUE(result.error->description.contains(QLatin1String(row.description))) << result.error->description.toStdString();
        EXPECT_TRUE(notes.isEmpty());
        EXPECT_TRUE(anyRecordContains(env.logLines(), {QStringLiteral("\"trace\": \"DEBUG\""),
                                                       QStringLiteral("Request OK: errorCode: %1 errorDescription: ").arg(result.error->code),
                                                       QStringLiteral(" url:%1\"").arg(url)}));
    }
}

TEST_F(ConfigLoading, ProgressKeepsASlowAnswerAlive)
{
    TestHttpServer::Answer answer{.body = document({entry()}), .fault = TestHttpServer::Fault::SlowBody};
    answer.chunkBytes = int(answer.body.size() / 8 + 1);
    answer.chunkIntervalMs = 50;  // 8 pauses of 50 ms: longer in all than the idle time-out
    server.answer("/config", answer);
    QSHttp::overrideTimeoutsForTesting(QSHttp::Timeouts{350ms, 10s});
    ASSERT_TRUE(load().config);
}

TEST_F(ConfigLoading, RequestCarriesTheSixHeadersInOrder)
{
    server.answerJson("/config", document({entry()}));
    load();
    ASSERT_EQ(server.requests().size(), 1);
    const TestHttpServer::Request &request = server.requests().first();
    EXPECT_EQ(request.method + ' ' + request.target, "GET /config");
    const QList<QByteArray> ours = {"appName", "ci", "os", "osVer", "country", "locale"};
    TestHttpServer::Headers received;
    std::copy_if(request.headers.begin(), request.headers.end(), std::back_inserter(received),
                 [&](const auto &header) { return ours.contains(header.first); });
    const TestHttpServer::Headers expected = {{"appName", "CORVALA"}, {"ci", QSPortalProvider::getCi().toUtf8()},
                                              {"os", "linux"},        {"osVer", "6.1.0"},
                                              {"country", "US"},      {"locale", "en-US"}};
    EXPECT_EQ(received, expected);
    EXPECT_TRUE(hasLineStartingWith(env.consoleLines, QStringLiteral("GET request header {appName: CORVALA, ci: ")));
}

TEST_F(ConfigLoading, EndpointsOfTheDocumentAreAnnounced)
{
    const std::tuple<QJsonObject, QVariant, QVariant> rows[] = {
        {{{"analyticsUrl", "https://a.example/e"}, {"logUploadUrl", "https://l.example/"}},
         QStringLiteral("https://a.example/e"), QStringLiteral("https://l.example/")},
        {{{"analyticsUrl", 12}}, QVariant(), QVariant()},  // missing, or not text: none
    };
    for (const auto &[top, analytics, upload] : rows) {
        server.answerJson("/config", document({entry()}, top));
        ASSERT_TRUE(load().config);
        EXPECT_EQ(notes, QVariantList({analytics, upload}));
        const QString text = analytics.isValid() ? analytics.toString() : QStringLiteral("(null)");
        EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("Analytics URL: %1").arg(text)));
        EXPECT_TRUE(anyRecordContains(env.logLines(), {QStringLiteral("\"message\":\" Analytics URL: %1\"").arg(text),
                                                       QStringLiteral("\"fn\": \"+[QSConfigProvider loadConfigWithCompletion:]\"")}));
    }
}
