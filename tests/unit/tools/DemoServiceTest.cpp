// The service over real loopback HTTP, as the installer and the tests meet it.

#include "AnalyticsCollector.h"
#include "DemoService.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

namespace {

struct Answer {
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QByteArray contentLength;  // empty when the answer announced none
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class DemoServiceTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_archive = QByteArray(200 * 1024, Qt::Uninitialized);
        QRandomGenerator generator(7);
        for (char &byte : m_archive)
            byte = static_cast<char>(generator.bounded(256));
        QFile file(path(QStringLiteral("Corvala.zip")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(m_archive);

        m_options.archivePath = file.fileName();
        m_options.latestBuild = QStringLiteral("2.4.1");
        m_options.analyticsFile = path(QStringLiteral("analytics.txt"));
        m_options.logDir = path(QStringLiteral("logs"));
        m_options.requestLog = path(QStringLiteral("requests.jsonl"));
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }

    void start()
    {
        m_service = std::make_unique<demo::DemoService>(m_options);
        QString error;
        ASSERT_TRUE(m_service->listen(&error)) << qPrintable(error);
        ASSERT_NE(m_service->port(), 0);
    }

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_service->port()); }

    Answer send(const QByteArray &verb, const QString &pathAndQuery, const QByteArray &body = {},
                const QList<QPair<QByteArray, QByteArray>> &headers = {})
    {
        QNetworkRequest request(QUrl::fromEncoded((base() + pathAndQuery).toUtf8()));
        for (const auto &[name, value] : headers)
            request.setRawHeader(name, value);
        std::unique_ptr<QNetworkReply> reply(m_network.sendCustomRequest(request, verb, body));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        EXPECT_TRUE(finished.wait(10000)) << "no answer to " << verb.constData() << ' '
                                          << qPrintable(pathAndQuery);
        Answer answer;
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.error = reply->error();
        answer.body = reply->readAll();
        answer.contentLength = reply->rawHeader("Content-Length");
        return answer;
    }

    QTemporaryDir m_dir;
    QByteArray m_archive;
    demo::ServiceOptions m_options;
    std::unique_ptr<demo::DemoService> m_service;
    QNetworkAccessManager m_network;
};

TEST_F(DemoServiceTest, ConfigurationPointsAtTheServiceAndTheRequestHeadersAreLogged)
{
    start();
    const QList<QPair<QByteArray, QByteArray>> headers{
        {"appName", "CORVALA"}, {"ci", "0a1b2c3d-aaaa-4bbb-8ccc-123456789012"}, {"os", "mac"},
        {"osVer", "6.1.0"},     {"country", "DE"},                              {"locale", "de-DE"}};

    const Answer answer = send("GET", QStringLiteral("/config/prod?product=corvala&os=linux"), {}, headers);

    ASSERT_EQ(answer.status, 200);
    const QJsonObject document = QJsonDocument::fromJson(answer.body).object();
    EXPECT_EQ(document.value(u"analyticsUrl").toString(), base() + QStringLiteral("/analytics"));
    EXPECT_EQ(document.value(u"logUploadUrl").toString(), base() + QStringLiteral("/logs/"));
    const QJsonObject entry = document.value(u"config").toArray().first().toObject();
    EXPECT_EQ(entry.value(u"latestBuildMacUrl").toString(), base() + QStringLiteral("/download/Corvala.zip"));
    EXPECT_EQ(entry.value(u"latestBuildMac").toString(), QStringLiteral("2.4.1"));

    const QList<QByteArray> lines = readAll(path(QStringLiteral("requests.jsonl"))).split('\n');
    ASSERT_GE(lines.size(), 1);
    const QJsonObject logged = QJsonDocument::fromJson(lines.first()).object();
    EXPECT_EQ(logged.value(u"method").toString(), QStringLiteral("GET"));
    EXPECT_EQ(logged.value(u"path").toString(), QStringLiteral("/config/prod"));
    EXPECT_EQ(logged.value(u"query").toString(), QStringLiteral("product=corvala&os=linux"));
    QList<QPair<QByteArray, QByteArray>> seen;
    for (const QJsonValue &pair : logged.value(u"headers").toArray()) {
        const QByteArray name = pair.toArray().at(0).toString().toLatin1();
        const auto wanted = std::find_if(headers.begin(), headers.end(), [&](const auto &h) {
            return h.first.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (wanted != headers.end())
            seen.append({wanted->first, pair.toArray().at(1).toString().toUtf8()});
    }
    EXPECT_EQ(seen, headers) << "all six, with their values, in the order sent";
}

TEST_F(DemoServiceTest, DocumentLinksFollowTheOverrides)
{
    m_options.publicBase = QUrl(QStringLiteral("http://demo.invalid:81"));
    m_options.downloadUrl = QStringLiteral("http://127.0.0.1:1/nginx/Corvala.zip");
    m_options.logUploadUrl = QString();  // empty: no upload address at all
    start();

    const QJsonObject document = QJsonDocument::fromJson(send("GET", QStringLiteral("/config/beta")).body).object();

    EXPECT_EQ(document.value(u"analyticsUrl").toString(), QStringLiteral("http://demo.invalid:81/analytics"));
    EXPECT_FALSE(document.contains(u"logUploadUrl"));
    const QJsonObject entry = document.value(u"config").toArray().first().toObject();
    EXPECT_EQ(entry.value(u"latestBuildMacUrl").toString(), QStringLiteral("http://127.0.0.1:1/nginx/Corvala.zip"));
    EXPECT_TRUE(entry.value(u"screens").toArray().first().toObject().value(u"content").toArray().first()
                    .toObject().value(u"image").toString().startsWith(u"http://demo.invalid:81/images/"));
}

TEST_F(DemoServiceTest, ConfigFileIsServedVerbatimAndUnknownEnvironmentsAreNotFound)
{
    const QByteArray page("<html><body>Service unavailable</body></html>");
    {
        QFile file(path(QStringLiteral("broken.json")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(page);
    }
    start();
    EXPECT_EQ(send("GET", QStringLiteral("/config/staging")).status, 404);

    m_options.configFile = path(QStringLiteral("broken.json"));
    start();
    const Answer answer = send("GET", QStringLiteral("/config/anything"));
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, page);
}

TEST_F(DemoServiceTest, FirstDownloadsFailThenTheArchiveComesWithItsLength)
{
    m_options.faults.failFirst = 2;
    start();

    const Answer first = send("GET", QStringLiteral("/download/Corvala.zip"));
    const Answer second = send("GET", QStringLiteral("/download/Corvala.zip"));
    const Answer third = send("GET", QStringLiteral("/download/Corvala.zip"));

    EXPECT_EQ(first.status, 404);
    EXPECT_FALSE(first.body.isEmpty());
    EXPECT_EQ(second.status, 404);
    EXPECT_EQ(third.status, 200);
    EXPECT_EQ(third.contentLength, QByteArray::number(m_archive.size()));
    EXPECT_EQ(third.body, m_archive);
    EXPECT_EQ(send("GET", QStringLiteral("/download/Other.zip")).status, 404);
}

TEST_F(DemoServiceTest, CutBodyAnnouncesTheWholeLengthAndEndsEarly)
{
    m_options.faults.cutBody = true;
    start();

    const Answer answer = send("GET", QStringLiteral("/download/Corvala.zip"));

    // Qt's client sometimes ends such a reply without an error (the close can arrive with the last
    // bytes), so a downloader has to compare the bytes it got with the announced length itself;
    // this is what the fault mode is for.
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.contentLength, QByteArray::number(m_archive.size()));
    EXPECT_EQ(answer.body, m_archive.left(m_archive.size() / 2));
}

TEST_F(DemoServiceTest, NoLengthSendsTheWholeArchiveWithoutAnnouncingIt)
{
    m_options.faults.noLength = true;
    start();

    const Answer answer = send("GET", QStringLiteral("/download/Corvala.zip"));

    EXPECT_EQ(answer.error, QNetworkReply::NoError);
    EXPECT_TRUE(answer.contentLength.isEmpty());
    EXPECT_EQ(answer.body, m_archive);
}

TEST_F(DemoServiceTest, AnalyticsBatchesAreKeptOnlyWhenCollected)
{
    start();
    const QByteArray batch("t ci=x {\"EVT\":\"Start\"}\r\nt ci=x {\"EVT\":\"End\"}");
    const Answer answer = send("POST", QStringLiteral("/analytics"), batch,
                               {{"Content-Type", "application/x-www-form-urlencoded"}});
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(readAll(path(QStringLiteral("analytics.txt"))),
              batch + '\n' + demo::AnalyticsCollector::kSeparator + '\n');

    m_options.analyticsFile.clear();
    start();
    EXPECT_EQ(send("POST", QStringLiteral("/analytics"), batch).status, 503);
}

TEST_F(DemoServiceTest, LogUploadsLandUnderTheFolderAndEscapesAreRefused)
{
    start();
    const QByteArray log("{\"trace\":\"DEBUG\"}\r\n");

    EXPECT_EQ(send("PUT", QStringLiteral("/logs/ci-1/tiny-2026-12-05T13-52-54.log"), log,
                   {{"Content-Type", "application/json"}}).status,
              200);
    EXPECT_EQ(readAll(path(QStringLiteral("logs/ci-1/tiny-2026-12-05T13-52-54.log"))), log);

    for (const char *escape : {"/logs/a%2F..%2F..%2Fescape.log", "/logs/%2Fescape.log", "/logs/"})
        EXPECT_EQ(send("PUT", QString::fromLatin1(escape), log).status, 400) << escape;
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("escape.log"))));
    EXPECT_EQ(send("POST", QStringLiteral("/logs/ci-1/tiny.log"), log).status, 404) << "only PUT uploads";
}

TEST_F(DemoServiceTest, LogUploadCanAnswerAnotherStatusAndStillKeepsTheBody)
{
    m_options.logStatus = 403;
    start();

    EXPECT_EQ(send("PUT", QStringLiteral("/logs/ci-2/tiny.log"), "text").status, 403);
    EXPECT_EQ(readAll(path(QStringLiteral("logs/ci-2/tiny.log"))), QByteArray("text"));
}

TEST_F(DemoServiceTest, AnswersHealthAndReportsATakenPort)
{
    start();
    EXPECT_EQ(send("GET", QStringLiteral("/healthz")).status, 200);

    m_options.port = m_service->port();
    demo::DemoService second(m_options);
    QString error;
    EXPECT_FALSE(second.listen(&error));
    EXPECT_TRUE(error.contains(QString::number(m_options.port))) << qPrintable(error);
}

}  // namespace
