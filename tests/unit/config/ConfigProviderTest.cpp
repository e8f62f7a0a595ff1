#include "TestEnv.h"

#include "config/QSConfigProvider.h"

#include <gtest/gtest.h>

TEST(QSConfigProvider, EnvironmentTableChoosesTheRowExactly)
{
    TestEnv env;
    const struct {
        QVariant env;
        QString url, path, binary;
    } cases[] = {
        {"dev1", "http://127.0.0.1:1/dev1", "/AppData/Dev1", "Corvala Dev1.app"},
        {"qa1", "http://127.0.0.1:1/qa1", "/AppData/QA1", "Corvala QA1.app"},
        {"beta", "http://127.0.0.1:1/beta", "/AppData/Beta", "Corvala Beta.app"},
        {"QA1", "http://127.0.0.1:1/prod", "/AppData/Prod", "Corvala.app"},  // exactly: anything else is production
        {QVariant(), "http://127.0.0.1:1/prod", "/AppData/Prod", "Corvala.app"},
    };
    for (const auto &c : cases) {
        QVariantMap info = TestEnv::defaultInfo();
        if (c.env.isValid())
            info.insert("QSEnv", c.env);
        env.setInfo(info);
        EXPECT_EQ(QStringList({QSConfigProvider::getConfigUrl(), QSConfigProvider::getEnvSpecificAppDataPath(),
                               QSConfigProvider::getEnvSpecificBinaryName()}),
                  QStringList({c.url, c.path, c.binary}));
    }
}

// Settings come only from inside "QSConfig", read as stored (only the text "YES" switches ARM
// archives on; a stored boolean reads as the number it holds); "&amp;" is replaced in one pass.
TEST(QSConfigProvider, SettingsAreReadAsStoredFromInsideQSConfig)
{
    TestEnv env;
    const std::pair<QVariant, QString> rows[] = {{"YES", "YES"}, {true, "1"}, {false, "0"}, {qlonglong(42), "42"}, {QVariantList{1}, {}}};
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
    info.remove("QSConfig");
    env.setInfo(info);
    EXPECT_TRUE(QSConfigProvider::getStringFromPlist("APP_NAME").isNull());
    EXPECT_EQ(QSConfigProvider::getAction("crashInfo"), QStringLiteral("qsd://crashInfo")) << "the portal type defaults to qs";
    EXPECT_TRUE(QSConfigProvider::getConfigUrl().isNull());
    EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("QSConfigPlist: (null)")));
}
