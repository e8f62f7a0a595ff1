#include "platform/Bundle.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
QString write(QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
    return path;
}
}  // namespace

TEST(Bundle, ReadsXmlPropertyListsWithNestedDictionaries)
{
    QTemporaryDir dir;
    const QString path = write(dir, "Info.plist",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>CFBundleShortVersionString</key><string>2.4.1</string>"
        "<key>QSConfig</key><dict><key>URL</key><string>http://a/?x=1&amp;y=2</string><key>N</key><integer>3</integer></dict>"
        "</dict></plist>");
    QString error;
    const auto info = platform::Bundle::readPropertyList(path, &error);
    ASSERT_TRUE(info) << error.toStdString();
    EXPECT_EQ(info->value("CFBundleShortVersionString").toString(), QStringLiteral("2.4.1"));
    const QVariantMap config = info->value("QSConfig").toMap();
    EXPECT_EQ(config.value("URL").toString(), QStringLiteral("http://a/?x=1&y=2"));
    EXPECT_EQ(config.value("N").toInt(), 3);
}

TEST(Bundle, MissingOrMalformedPropertyListsGiveAReasonNotACrash)
{
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(platform::Bundle::readPropertyList(dir.filePath("absent.plist"), &error));
    EXPECT_TRUE(error.contains("absent.plist"));
    for (const QByteArray &content : {QByteArray(), QByteArray("not a plist at all"),
                                      QByteArray("<plist><dict><key>A</key>"),
                                      QByteArray("<plist version=\"1.0\"><array><string>x</string></array></plist>")}) {
        error.clear();
        EXPECT_FALSE(platform::Bundle::readPropertyList(write(dir, "bad.plist", content), &error)) << content.constData();
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(Bundle, OutsideAnAppFolderTheEmbeddedInfoIsUsed)
{
    platform::Bundle::setMainInfoForTesting(std::nullopt);
    EXPECT_TRUE(platform::Bundle::mainBundlePath().isEmpty());
    EXPECT_FALSE(platform::Bundle::bundleIdentifier().isEmpty());
    EXPECT_TRUE(platform::Bundle::mainInfo().contains(QStringLiteral("QSConfig")));
}
