#include "TestEnv.h"
#include "UiTestSupport.h"

// Every key the screens, the shell and the flow look up has a text in every language; the texts
// the code fills with a name keep exactly one "%@".
TEST(Translations, EveryKeyHasATextInEveryLanguage)
{
    const char *const keys[] = {
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
    TestEnv env;
    for (const char *language : {"en-US", "de-DE", "he-IL"}) {
        uitest::useLanguage(env.host, QString::fromLatin1(language));
        for (const char *key : keys) {
            const QString text = platform::localizedString(key);
            EXPECT_NE(text, QString::fromLatin1(key)) << language << " lacks " << key;
            EXPECT_FALSE(text.trimmed().isEmpty()) << language << " " << key;
        }
        for (const char *key : {"ContactAdminMessage", "QSAlreadyInstalledMessage", "QSLicenceTextPart2"})
            EXPECT_EQ(platform::localizedString(key).count(QLatin1String("%@")), 1) << language << " " << key;
    }
    uitest::useLanguage(env.host, QStringLiteral("en-US"));
}
