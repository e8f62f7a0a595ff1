#include "ConfigDocument.h"
#include "PageImages.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

demo::ConfigLinks sampleLinks()
{
    demo::ConfigLinks links;
    links.analyticsUrl = QStringLiteral("http://127.0.0.1:9/analytics");
    links.logUploadUrl = QStringLiteral("http://127.0.0.1:9/logs/");
    links.downloadUrl = QStringLiteral("http://127.0.0.1:8/files/Corvala.zip");
    links.imageBaseUrl = QStringLiteral("http://127.0.0.1:9/images/");
    return links;
}

TEST(ConfigDocument, CarriesTheEndpointsAndOneCorvalaEntry)
{
    const QJsonObject document = demo::ConfigDocument::build(QStringLiteral("qa1"), sampleLinks(),
                                                             QStringLiteral("2.4.1"));

    EXPECT_EQ(document.value(u"analyticsUrl").toString(), QStringLiteral("http://127.0.0.1:9/analytics"));
    EXPECT_EQ(document.value(u"logUploadUrl").toString(), QStringLiteral("http://127.0.0.1:9/logs/"));
    EXPECT_EQ(document.value(u"environment").toString(), QStringLiteral("qa1"));
    const QJsonArray entries = document.value(u"config").toArray();
    ASSERT_EQ(entries.size(), 1);
    const QJsonObject entry = entries.first().toObject();
    EXPECT_EQ(entry.value(u"appName").toString(), QStringLiteral("Corvala"));
    EXPECT_EQ(entry.value(u"latestBuildMacUrl").toString(), QStringLiteral("http://127.0.0.1:8/files/Corvala.zip"));
    EXPECT_EQ(entry.value(u"latestBuildMacARMUrl").toString(), entry.value(u"latestBuildMacUrl").toString());
    EXPECT_EQ(entry.value(u"latestBuildMac").toString(), QStringLiteral("2.4.1"));
    EXPECT_EQ(entry.value(u"downloadRetryLimit").toInt(), 3);
    EXPECT_TRUE(entry.value(u"macInstallCommand").isString());
}

TEST(ConfigDocument, LeavesOutEndpointsThatAreNotGiven)
{
    demo::ConfigLinks links = sampleLinks();
    links.analyticsUrl.reset();
    links.logUploadUrl.reset();

    const QJsonObject document = demo::ConfigDocument::build(QStringLiteral("prod"), links, QStringLiteral("1"));

    EXPECT_FALSE(document.contains(u"analyticsUrl"));
    EXPECT_FALSE(document.contains(u"logUploadUrl"));
}

// The carousel keys its pages by title and shows an image per page: a set with a repeated title
// would lose a page, and an image the service cannot serve would leave a slot empty.
TEST(ConfigDocument, EveryPageSetHasDistinctTitlesAndServedImages)
{
    const demo::PageImages images;
    const QSet<QString> supported{u"cs-CZ"_s, u"da-DK"_s, u"de-DE"_s, u"el-GR"_s, u"en-US"_s, u"es-ES"_s,
                                  u"fi-FI"_s, u"fr-FR"_s, u"hu-HU"_s, u"it-IT"_s, u"ja-JP"_s, u"ko-KR"_s,
                                  u"nb-NO"_s, u"nl-NL"_s, u"pl-PL"_s, u"pt-BR"_s, u"ru-RU"_s, u"sk-SK"_s,
                                  u"sv-SE"_s, u"tr-TR"_s, u"zh-CN"_s, u"zh-TW"_s, u"he-IL"_s};
    const QString base = sampleLinks().imageBaseUrl;

    const QJsonArray sets = demo::ConfigDocument::build(QStringLiteral("prod"), sampleLinks(), QStringLiteral("1"))
                                .value(u"config").toArray().first().toObject().value(u"screens").toArray();
    ASSERT_EQ(sets.size(), demo::ConfigDocument::pageLocales().size());
    QSet<QString> locales;
    for (const QJsonValue &value : sets) {
        const QJsonObject set = value.toObject();
        const QString locale = set.value(u"locale").toString();
        EXPECT_TRUE(supported.contains(locale)) << qPrintable(locale);
        locales.insert(locale);
        const QJsonArray pages = set.value(u"content").toArray();
        EXPECT_GE(pages.size(), 3) << qPrintable(locale);
        EXPECT_LE(pages.size(), 4) << qPrintable(locale);
        QSet<QString> titles;
        for (const QJsonValue &page : pages) {
            const QString title = page.toObject().value(u"text1").toString();
            EXPECT_FALSE(title.isEmpty());
            EXPECT_FALSE(page.toObject().value(u"text2").toString().isEmpty());
            titles.insert(title);
            const QString image = page.toObject().value(u"image").toString();
            ASSERT_TRUE(image.startsWith(base)) << qPrintable(image);
            const QString name = image.mid(base.size());
            EXPECT_TRUE(images.png(name)) << qPrintable(name);
            EXPECT_TRUE(images.png(QString(name).replace(u".png"_s, u"@2x.png"_s))) << qPrintable(name);
            EXPECT_TRUE(images.png(QString(name).replace(u".png"_s, u"@3x.png"_s))) << qPrintable(name);
        }
        EXPECT_EQ(titles.size(), pages.size()) << qPrintable(locale);
    }
    EXPECT_EQ(locales.size(), sets.size()) << "one set per locale";
    EXPECT_TRUE(locales.contains(u"en-US"_s)) << "the fallback locale needs pages";
}

TEST(ConfigDocument, KnowsExactlyTheFourEnvironments)
{
    for (const char *name : {"dev1", "qa1", "beta", "prod"})
        EXPECT_TRUE(demo::ConfigDocument::isKnownEnvironment(QString::fromLatin1(name))) << name;
    for (const char *name : {"PROD", "production", "", "dev"})
        EXPECT_FALSE(demo::ConfigDocument::isKnownEnvironment(QString::fromLatin1(name))) << name;
}

}  // namespace
