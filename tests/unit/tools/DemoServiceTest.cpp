// The demo service: its upload path check and configuration document, and its handlers over
// loopback HTTP as the installer and the end-to-end suite meet them.

#include "AnalyticsCollector.h"
#include "ConfigDocument.h"
#include "DemoService.h"
#include "LogCollector.h"
#include "PageImages.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(LogCollector, AcceptsOnlyPathsThatStayInsideTheFolder)
{
    const std::pair<QString, bool> cases[] = {
        {u"0a1b2c3d-aaaa-4bbb-8ccc-123456789012/tiny-2026-12-05T13-52-54.log"_s, true}, {u"tiny.log"_s, true},
        {u"a/b/c/..d.log"_s, true}, {u".."_s, false}, {u"../x.log"_s, false}, {u"a/../../x.log"_s, false},
        {u"a/.."_s, false}, {u"./x.log"_s, false}, {u"/etc/x.log"_s, false}, {u""_s, false},
        {u"a//b.log"_s, false}, {u"dir/"_s, false}, {u"a\0/b.log"_s, false}};
    for (const auto &[path, accepted] : cases)
        EXPECT_EQ(demo::LogCollector::safeRelativePath(path).has_value(), accepted) << qPrintable(path);
}

// The carousel keys its pages by title and shows an image per page: a repeated title would lose a
// page, and an image the service cannot serve would leave a slot empty.
TEST(ConfigDocument, CarriesTheEndpointsAndOneEntryWithServablePagesPerLocale)
{
    demo::ConfigLinks links{u"http://h/analytics"_s, u"http://h/logs/"_s, u"http://d/Corvala.zip"_s,
                            u"http://h/images/"_s, u"untrusted comment: x\nRWQ\n"_s};
    const QJsonObject document = demo::ConfigDocument::build(u"qa1"_s, links, u"2.4.1"_s);

    EXPECT_EQ(document.value(u"analyticsUrl").toString(), *links.analyticsUrl);
    EXPECT_EQ(document.value(u"logUploadUrl").toString(), *links.logUploadUrl);
    const QJsonArray entries = document.value(u"config").toArray();
    ASSERT_EQ(entries.size(), 1);
    const QJsonObject entry = entries.first().toObject();
    // The end-to-end runs read the rest of the entry; only an ARM machine would read this one.
    EXPECT_EQ(entry.value(u"latestBuildMacARMUrl").toString(), links.downloadUrl);
    EXPECT_EQ(entry.value(u"latestBuildMacSignature").toString(), links.signature);

    const demo::PageImages images;
    QSet<QString> locales;
    for (const QJsonValue &set : entry.value(u"screens").toArray()) {
        const QString locale = set[u"locale"].toString();
        locales.insert(locale);
        const QJsonArray pages = set[u"content"].toArray();
        EXPECT_TRUE(pages.size() >= 3 && pages.size() <= 4) << qPrintable(locale);
        QSet<QString> titles;
        for (const QJsonValue &page : pages) {
            titles.insert(page[u"text1"].toString());
            EXPECT_FALSE(page[u"text2"].toString().isEmpty()) << qPrintable(locale);
            const QString image = page[u"image"].toString();
            ASSERT_TRUE(image.startsWith(links.imageBaseUrl)) << qPrintable(image);
            for (const QString &scale : {u""_s, u"@2x"_s, u"@3x"_s})
                EXPECT_TRUE(images.png(image.mid(links.imageBaseUrl.size()).replace(u".png"_s, scale + u".png"_s)))
                    << qPrintable(image) << qPrintable(scale);
        }
        EXPECT_EQ(titles.size(), pages.size()) << qPrintable(locale);
        EXPECT_FALSE(titles.contains(QString())) << qPrintable(locale);
    }
    EXPECT_EQ(locales.size(), demo::ConfigDocument::pageLocales().size()) << "one set per locale";
    EXPECT_TRUE(locales.contains(u"en-US"_s)) << "the fallback locale needs pages";

    links.analyticsUrl.reset();
    links.logUploadUrl.reset();
    const QJsonObject bare = demo::ConfigDocument::build(u"prod"_s, links, u"1"_s);
    EXPECT_FALSE(bare.contains(u"analyticsUrl") || bare.contains(u"logUploadUrl"));
}

struct Answer {
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body, contentLength;  // contentLength is empty when the answer announced none
};

class DemoServiceTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        for (int i = 0; i < 200 * 1024; ++i)
            archive.append(char((i * 7919) >> 3));
        QFile file(dir.filePath(u"Corvala.zip"_s));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(archive) == archive.size());
        options.archivePath = file.fileName();
        options.latestBuild = u"2.4.1"_s;
        options.analyticsFile = dir.filePath(u"analytics.txt"_s);
        options.logDir = dir.filePath(u"logs"_s);
    }

    void start()
    {
        service = std::make_unique<demo::DemoService>(options);
        QString error;
        ASSERT_TRUE(service->listen(&error)) << qPrintable(error);
    }

    Answer send(const QByteArray &verb, const QString &path, const QByteArray &body = {},
                const QByteArray &contentType = {})
    {
        QNetworkRequest request(QUrl::fromEncoded(u"http://127.0.0.1:%1%2"_s.arg(service->port()).arg(path).toUtf8()));
        if (!contentType.isEmpty())
            request.setRawHeader("Content-Type", contentType);
        std::unique_ptr<QNetworkReply> reply(network.sendCustomRequest(request, verb, body));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        EXPECT_TRUE(finished.wait(10000)) << "no answer to " << verb.constData() << ' ' << qPrintable(path);
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->error(),
                reply->readAll(), reply->rawHeader("Content-Length")};
    }

    QTemporaryDir dir;
    QByteArray archive;
    demo::ServiceOptions options;
    std::unique_ptr<demo::DemoService> service;
    QNetworkAccessManager network;
};

TEST_F(DemoServiceTest, DownloadFaultModes)
{
    const QString download = u"/download/Corvala.zip"_s;
    const QByteArray length = QByteArray::number(archive.size());
    options.faults.failFirst = 2;
    start();
    EXPECT_EQ(send("GET", download).status, 404);
    EXPECT_EQ(send("GET", download).status, 404);
    const Answer whole = send("GET", download);
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.contentLength, length);
    EXPECT_EQ(whole.body, archive);

    // Qt's client sometimes ends such a reply without an error, so a downloader has to compare
    // the bytes it got with the announced length itself; this is what the mode is for.
    options.faults = {.cutBody = true};
    start();
    const Answer cut = send("GET", download);
    EXPECT_EQ(cut.contentLength, length);
    EXPECT_EQ(cut.body, archive.left(archive.size() / 2));

    options.faults = {.noLength = true};
    start();
    const Answer unannounced = send("GET", download);
    EXPECT_EQ(unannounced.error, QNetworkReply::NoError);
    EXPECT_TRUE(unannounced.contentLength.isEmpty());
    EXPECT_EQ(unannounced.body, archive);
}

TEST_F(DemoServiceTest, AnalyticsBatchesAreAppendedByteForByte)
{
    start();
    const QByteArray first("t1 ci=x {\"EVT\":\"Start\",\"RSN\":\"a&b=c+d %20 \xc3\xa9\"}\r\nt2 ci=x {\"EVT\":\"End\"}");
    const QByteArray second("ends with a line end\r\n");
    EXPECT_EQ(send("POST", u"/analytics"_s, first, "application/x-www-form-urlencoded").status, 200);
    EXPECT_EQ(send("POST", u"/analytics"_s, second, "text/plain").status, 200);

    const QByteArray end = '\n' + QByteArray(demo::AnalyticsCollector::kSeparator) + '\n';
    EXPECT_EQ(readAll(options.analyticsFile), first + end + second + end);
    EXPECT_EQ(readAll(options.analyticsFile + u".content-type"_s), "application/x-www-form-urlencoded\ntext/plain\n");
}

TEST_F(DemoServiceTest, LogUploadsLandUnderTheFolderAndEscapesAreRefused)
{
    start();
    const QByteArray log("{\"trace\":\"DEBUG\"}\r\n");
    EXPECT_EQ(send("PUT", u"/logs/ci-1/tiny-2026-12-05T13-52-54.log"_s, log, "application/json").status, 200);
    EXPECT_EQ(readAll(dir.filePath(u"logs/ci-1/tiny-2026-12-05T13-52-54.log"_s)), log);

    for (const QString &escape : {u"/logs/a%2F..%2F..%2Fescape.log"_s, u"/logs/%2Fescape.log"_s, u"/logs/"_s})
        EXPECT_EQ(send("PUT", escape, log).status, 400) << qPrintable(escape);
    EXPECT_FALSE(QFile::exists(dir.filePath(u"escape.log"_s)));
    EXPECT_EQ(send("POST", u"/logs/ci-1/tiny.log"_s, log).status, 404) << "only PUT uploads";
}

}  // namespace
