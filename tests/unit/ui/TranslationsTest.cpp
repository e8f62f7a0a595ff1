#include "TestEnv.h"
#include "UiTestSupport.h"

#include "platform/Localization.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

namespace {

// Every key the screens, the shell and the flow look up.
const char *const kKeys[] = {
    "ContactAdminTitle", "ContactAdminMessage", "MessageClose", "MessageRetry", "QSContactSupport",
    "QSDetailText", "QSLandingInfoOne", "QSLandingInfoTwo", "QSLandingInfoThree", "QSInstallNow",
    "QSLicenceTextPart1", "QSLicenceTextPart2", "QSLicenceTextPart3", "QSLicenceTextPart4",
    "MessageConnecting", "QSInstalling", "QSLaunchApp", "QSstarted", "QSWelcome_To_Brightmoor",
    "QSQuitTitle", "QSQuitMessage", "QSExit", "QSNo", "MessageInstallationFailed",
    "MessageInstallationFailedDescription", "MessageInstallationFailedDescription1",
    "MessageInstallationFailedDescription2", "MessageInstallationFailedClickHere",
    "MessageInstallationFailedDescription3", "ContactSupportText", "ContactSupportText1",
    "MessageNoInternetConnection", "MessagePleaseTryLater", "QSAlreadyInstalledTitle",
    "QSAlreadyInstalledMessage", "QSNoSpaceTitle", "QSNoSpaceMessage", "QSOSNotCompatibleTitle",
    "QSOSNotCompatibleMessage", "MessageContent",
};

// Texts the code fills with a name: each must keep exactly one "%@".
const char *const kFormats[] = {"ContactAdminMessage", "QSAlreadyInstalledMessage", "QSLicenceTextPart2"};

class Translations : public ::testing::TestWithParam<const char *> {
protected:
    ~Translations() override { uitest::useLanguage(env.host, QStringLiteral("en-US")); }
    TestEnv env;
};

TEST_P(Translations, EveryKeyHasAText)
{
    uitest::useLanguage(env.host, QString::fromLatin1(GetParam()));
    for (const char *key : kKeys) {
        const QString text = platform::localizedString(key);
        EXPECT_NE(text, QString::fromLatin1(key)) << GetParam() << " lacks " << key;
        EXPECT_FALSE(text.trimmed().isEmpty()) << GetParam() << " " << key;
    }
    for (const char *key : kFormats)
        EXPECT_EQ(platform::localizedString(key).count(QLatin1String("%@")), 1) << GetParam() << " " << key;
}

INSTANTIATE_TEST_SUITE_P(Languages, Translations, ::testing::Values("en-US", "de-DE", "he-IL"));

TEST(TranslationTables, KeepTheSpacesBetweenRunsOfTheLicenceSentence)
{
    TestEnv env;
    uitest::useLanguage(env.host, QStringLiteral("en-GB"));
    EXPECT_TRUE(platform::localizedString("QSLicenceTextPart1").endsWith(QLatin1Char(' ')));
    EXPECT_TRUE(platform::localizedString("QSLicenceTextPart3").startsWith(QLatin1Char(' ')));
    EXPECT_TRUE(platform::localizedString("QSLicenceTextPart3").endsWith(QLatin1Char(' ')));
}

TEST(TranslationTables, HebrewTurnsTheInterfaceRightToLeftAndBack)
{
    TestEnv env;
    uitest::useLanguage(env.host, QStringLiteral("he-IL"));
    EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::RightToLeft);
    uitest::useLanguage(env.host, QStringLiteral("de-AT"));
    EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(platform::localizedString("QSNo"), QStringLiteral("Nein, bleiben"));
}

TEST(TranslationTables, ALanguageWithoutATableFallsBackToEnglish)
{
    TestEnv env;
    uitest::useLanguage(env.host, QStringLiteral("ja-JP"));
    EXPECT_EQ(platform::localizedString("MessageRetry"), QStringLiteral("Try again"));
}

}  // namespace
