#include "TestEnv.h"

#include "config/QSConfigProvider.h"

#include <gtest/gtest.h>

TEST(QSConfigProvider, EnvironmentTableChoosesTheRowExactly)
{
    TestEnv env;
    struct Case {
        QVariant env;
        QString url, path, binary;
    };
    const QList<Case> cases = {
        {"dev1", "http://127.0.0.1:1/dev1", "/AppData/Dev1", "Corvala Dev1.app"},
        {"qa1", "http://127.0.0.1:1/qa1", "/AppData/QA1", "Corvala QA1.app"},
        {"beta", "http://127.0.0.1:1/beta", "/AppData/Beta", "Corvala Beta.app"},
        {"QA1", "http://127.0.0.1:1/prod", "/AppData/Prod", "Corvala.app"},
        {"prod", "http://127.0.0.1:1/prod", "/AppData/Prod", "Corvala.app"},
        {"production", "http://127.0.0.1:1/prod", "/AppData/Prod", "Corvala.app"},
        {QVariant(), "http://127.0.0.1:1/prod", "/AppData/Prod", "Corvala.app"},
    };
    for (const Case &c : cases) {
        QVariantMap info = TestEnv::defaultInfo();
        if (c.env.isValid())
            info.insert("QSEnv", c.env);
        env.setInfo(info);
        EXPECT_EQ(QSConfigProvider::getConfigUrl(), c.url) << c.env.toString().toStdString();
        EXPECT_EQ(QSConfigProvider::getEnvSpecificAppDataPath(), c.path);
        EXPECT_EQ(QSConfigProvider::getEnvSpecificBinaryName(), c.binary);
    }
}

// Settings come only from inside "QSConfig", read as stored (only the text "YES" switches ARM
// archives on; a stored boolean reads as the number it holds); "&amp;" is replaced in one pass.
TEST(QSConfigProvider, SettingsAreReadAsStoredFromInsideQSConfig)
{
    TestEnv env;
    const QList<QPair<QVariant, QString>> rows = {
        {QStringLiteral("YES"), QStringLiteral("YES")}, {true, QStringLiteral("1")}, {false, QStringLiteral("0")},
        {qlonglong(42), QStringLiteral("42")},          {QVariantList{1}, QString()},
    };
    for (const auto &[stored, read] : rows) {
        env.setSetting("AppleM1Support", stored);
        EXPECT_EQ(QSConfigProvider::getStringFromPlist("AppleM1Support"), read) << stored.toString().toStdString();
    }
    env.setSetting("PRODUCTION_URL", "https://h/config?a=1&amp;b=2&amp;amp;c=3&amp");
    EXPECT_EQ(QSConfigProvider::getConfigUrl(), QStringLiteral("https://h/config?a=1&b=2&amp;c=3&amp"));

    QVariantMap info = TestEnv::defaultInfo();
    info.insert("APP_NAME_TOP", "top level");
    env.setInfo(info);
    EXPECT_TRUE(QSConfigProvider::getStringFromPlist("APP_NAME_TOP").isNull());
    EXPECT_EQ(QSConfigProvider::getStringFromPlist("APP_NAME"), QStringLiteral("Corvala"));
    info.remove("QSConfig");
    env.setInfo(info);
    EXPECT_TRUE(QSConfigProvider::getStringFromPlist("APP_NAME").isNull());
    EXPECT_EQ(QSConfigProvider::getAction("crashInfo"), QStringLiteral("qsd://crashInfo")) << "the portal type defaults to qs";
    EXPECT_TRUE(QSConfigProvider::getConfigUrl().isNull());
    EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("QSConfigPlist: (null)")));
}
