// Command URLs: the exact comparison with the addresses getAction builds, in the table's order,
// and the notification each one posts.

#include "TestEnv.h"

#include "shell/CommandUrls.h"
#include "shell/ShellNames.h"

#include "platform/NotificationCenter.h"

#include <QVariantMap>

#include <gtest/gtest.h>

namespace {

struct Posted {
    QString name;
    QVariant object;
};

// Records what the command names post while it lives.
class PostedRecorder {
public:
    PostedRecorder()
    {
        for (const QString &name : {shell::kShowCrashInfoDialog, shell::kOpenPrivacyPolicyLink, shell::kOpenEula}) {
            tokens_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
                name, [this](const platform::Notification &n) { posted.push_back({n.name, n.object}); }));
        }
    }
    ~PostedRecorder()
    {
        for (auto token : tokens_)
            platform::NotificationCenter::defaultCenter().removeObserver(token);
    }
    std::vector<Posted> posted;

private:
    std::vector<platform::NotificationCenter::Token> tokens_;
};

struct CommandCase {
    const char *portalType;
    const char *url;
    const char *expectedNotification;  // nullptr: nothing is posted
    QVariant expectedObject;
    int addressesCompared;  // getAction lines on the console
};

void PrintTo(const CommandCase &c, std::ostream *os) { *os << c.portalType << " " << c.url; }

class CommandUrlTable : public ::testing::TestWithParam<CommandCase> {};

const QVariant kOverlayOn = QVariantMap{{QStringLiteral("withOverlay"), true}};
const QVariant kOverlayOff = QVariantMap{{QStringLiteral("withOverlay"), false}};

}  // namespace

TEST_P(CommandUrlTable, PostsOnlyForAnExactMatchInTableOrder)
{
    const CommandCase &c = GetParam();
    TestEnv env;
    env.setSetting(QStringLiteral("QSPortalType"), QString::fromLatin1(c.portalType));
    PostedRecorder recorder;

    const bool handled = shell::dispatchCommandUrl(QString::fromUtf8(c.url));

    const QString scheme = QString::fromLatin1(c.portalType) + QLatin1Char('d');
    const QStringList order{QStringLiteral("crashInfo"), QStringLiteral("innerCrashInfo"), QStringLiteral("privacyPolicy"),
                            QStringLiteral("licenseAgreement")};
    QStringList expectedLines;
    for (int i = 0; i < c.addressesCompared; ++i)
        expectedLines << scheme + QStringLiteral("://") + order.at(i);
    QStringList addressLines;  // other console lines (settings read on first use) do not count
    for (const QString &line : env.consoleLines) {
        if (line.startsWith(scheme + QStringLiteral("://")))
            addressLines << line;
    }
    EXPECT_EQ(addressLines.join(QLatin1Char(' ')).toStdString(), expectedLines.join(QLatin1Char(' ')).toStdString());

    if (!c.expectedNotification) {
        EXPECT_FALSE(handled);
        EXPECT_TRUE(recorder.posted.empty());
        return;
    }
    EXPECT_TRUE(handled);
    ASSERT_EQ(recorder.posted.size(), 1u);
    EXPECT_EQ(recorder.posted[0].name, QString::fromLatin1(c.expectedNotification));
    EXPECT_EQ(recorder.posted[0].object.isValid(), c.expectedObject.isValid());
    if (c.expectedObject.isValid()) {
        // A real boolean, not the text "true".
        const QVariant overlay = recorder.posted[0].object.toMap().value(QStringLiteral("withOverlay"));
        EXPECT_EQ(overlay.typeId(), QMetaType::Bool);
        EXPECT_EQ(recorder.posted[0].object, c.expectedObject);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shell, CommandUrlTable,
    ::testing::Values(
        CommandCase{"qs", "qsd://crashInfo", "SHOW_CRASH_INFO_DIALOG", kOverlayOn, 1},
        CommandCase{"qs", "qsd://innerCrashInfo", "SHOW_CRASH_INFO_DIALOG", kOverlayOff, 2},
        CommandCase{"qs", "qsd://privacyPolicy", "OPEN_PRIVACY_POLICY_LINK", QVariant(), 3},
        CommandCase{"qs", "qsd://licenseAgreement", "OPEN_EULA", QVariant(), 4},
        // Near misses: a trailing slash, another case, a query, a fragment, spaces, another scheme
        CommandCase{"qs", "qsd://licenseAgreement/", nullptr, QVariant(), 4},
        CommandCase{"qs", "QSD://licenseAgreement", nullptr, QVariant(), 4},
        CommandCase{"qs", "qsd://LicenseAgreement", nullptr, QVariant(), 4},
        CommandCase{"qs", "qsd://privacyPolicy?from=mail", nullptr, QVariant(), 4},
        CommandCase{"qs", "qsd://crashInfo#top", nullptr, QVariant(), 4},
        CommandCase{"qs", " qsd://crashInfo", nullptr, QVariant(), 4},
        CommandCase{"qs", "https://www.brightmoor.example/", nullptr, QVariant(), 4},
        CommandCase{"qs", "", nullptr, QVariant(), 4},
        // Another portal type changes the scheme; the default one then means nothing
        CommandCase{"abc", "abcd://licenseAgreement", "OPEN_EULA", QVariant(), 4},
        CommandCase{"abc", "qsd://licenseAgreement", nullptr, QVariant(), 4}));
