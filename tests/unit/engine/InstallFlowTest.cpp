#include "EngineTestSupport.h"

#include "telemetry/QSLogger.h"

#include <QFileInfo>
#include <QJsonArray>

#include <gtest/gtest.h>

using namespace enginetest;

static const QString kStart = QStringLiteral("-[QSMainController startInstallation]");
// Nothing listens on the discard port: a download that gets that far fails later, unseen.
static const QString kUnreachable = QStringLiteral("http://127.0.0.1:9/archive.zip");

TEST(InstallFlow, EachBlockingCheckShowsItsAlertAndSendsItsConfigEvent)
{
    // Every row also fails the checks after its own and is offline: those must not be reached.
    const struct {
        const char *installed;
        platform::OsVersion os;
        quint64 freeBytes;
        QString screen, key, icon, reason, errorRecord{};
    } cases[] = {
        {"Unknown_version", {3, 0, 0}, 0, "AlreadyInstalled", "QSAlreadyInstalled", "alreadyInstalled", "Application already installed",
         "Corvala is already installed at %1. Aborting installation."},
        {"2.0.1", {3, 0, 0}, 0, "AlreadyInstalled", "QSAlreadyInstalled", "alreadyInstalled", "Application already installed",
         "Corvala version 2.0.1 is already installed. Aborting installation."},
        {nullptr, {4, 18, 9}, 0, "OSNotCompatible", "QSOSNotCompatible", "install_failed_block_img", "OS is not compatible"},
        {nullptr, {6, 1, 0}, quint64(1) << 30, "NotEnoughSpace", "QSNoSpace", "no_space", "Not enough space"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.screen.toStdString());
        FlowFixture f;
        if (c.installed)
            writeInstalledBundle(f.bundlePath(), c.installed);
        f.env.host.os = c.os;
        f.env.host.space = {true, c.freeBytes, {}};
        f.env.host.reachability = std::nullopt;
        f.flow->startInstallation();

        // No translations are loaded: the keys show.
        EXPECT_EQ(f.screens.calls, QStringList({"showInfoAlert:" + c.icon}));
        EXPECT_EQ(f.screens.alerts.value(0), QSInfoAlert({QSScreenText::plain(c.key + "Message"), c.key + "Title", c.icon, false, true,
                                                          true, QSScreenText::visitOnlineSite(), false, true}));
        EXPECT_TRUE(f.hasRecord("DEBUG", QStringLiteral("Show %1 screen").arg(c.screen), kStart));
        EXPECT_TRUE(c.errorRecord.isEmpty() ||
                    f.hasRecord("ERROR", QString(c.errorRecord).replace("%1", f.env.host.applications), kStart));
        ASSERT_EQ(f.eventNames(), QStringList({"Config"}));
        EXPECT_EQ(fieldsLike(f.events[0], {{"RSLT", 0}, {"RSN", 0}, {"T", 0}, {"CData", 0}}),
                  QJsonObject({{"RSLT", "FAIL"}, {"RSN", c.reason}, {"T", 0}}));  // no "CData"
        EXPECT_TRUE(f.pending.isEmpty()) << "no configuration request";
    }
}

TEST(InstallFlow, OfflineAtStartOffersRetryWhichStartsAgainUnlessTheQuitConfirmationIsOpen)
{
    FlowFixture f;
    f.env.host.reachability = unsigned(platform::Reachable | platform::ConnectionRequired);
    f.flow->startInstallation();
    EXPECT_EQ(f.screens.calls, QStringList({"makeMainViewVisible", "showInfoAlert:no_internet"}));
    EXPECT_EQ(f.screens.alerts.value(0), QSInfoAlert({QSScreenText::plain("MessagePleaseTryLater"), "MessageNoInternetConnection",
                                                      "no_internet", true, false, false, QSScreenText::empty()}));
    EXPECT_TRUE(f.hasRecord("DEBUG", "Show NoInternet screen", kStart));
    EXPECT_TRUE(f.events.isEmpty() && f.pending.isEmpty());

    // Retry starts again; of two quick starts only the later one's configuration counts.
    f.env.host.reachability = unsigned(platform::Reachable);
    f.flow->startInstallation();
    f.flow->startInstallation();
    ASSERT_EQ(f.pending.size(), 2);
    f.pending[0](makeConfig(kUnreachable), std::nullopt);
    EXPECT_TRUE(f.events.isEmpty());
    f.pending[1](makeConfig(kUnreachable), std::nullopt);
    EXPECT_EQ(f.eventNames(), QStringList({"Config"}));

    // While the quit confirmation is open a start does nothing at all, even with a blocking check.
    writeInstalledBundle(f.bundlePath(), "2.0.1");
    f.screens.quitConfirmationOpen = true;
    const auto before = std::tuple(f.screens.calls, f.events, f.env.logLines());
    f.flow->startInstallation();
    EXPECT_EQ(std::tuple(f.screens.calls, f.events, f.env.logLines()), before);
}

TEST(InstallFlow, TheConfigurationCompletionFollowsTheConfigurationTheErrorAndTheNetwork)
{
    const QStringList download{"setupPageController", "showState:Downloading"};
    const QStringList offline{"makeMainViewVisible", "showInfoAlert:no_internet"};
    const QStringList configError{"showGenericError:Config error"};
    const QJsonObject pass{{"RSLT", "PASS"}}, failed{{"RSLT", "FAIL"}, {"RSN", "Config error"}, {"CData", ""}};
    const struct {
        bool withConfig, withError, online;
        QStringList calls, events;
        QJsonObject config;  // the "Config" event's result fields
    } cases[] = {
        {true, false, true, download, {"Config"}, pass},
        {true, false, false, download, {"Config"}, pass},  // the network went meanwhile
        {true, true, true, download, {"Config"}, pass},    // a configuration with an error is used as it is
        {true, true, false, offline, {}, {}},
        {false, true, true, configError, {"Install", "Config"}, failed},
        {false, false, true, configError, {"Install", "Config"}, failed},
        {false, true, false, offline, {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "config " << c.withConfig << ", error " << c.withError << ", online " << c.online);
        FlowFixture f;
        f.flow->startInstallation();
        ASSERT_EQ(f.pending.size(), 1);
        EXPECT_EQ(f.screens.calls, QStringList({"showState:Connecting"}));
        f.screens.calls.clear();
        if (!c.online)
            f.env.host.reachability = std::nullopt;
        f.pending.takeFirst()(c.withConfig ? makeConfig(kUnreachable, 3) : nullptr,
                              c.withError ? std::optional(QSNetworkError{3, "Host not found"}) : std::nullopt);

        EXPECT_EQ(f.screens.calls.mid(0, 2), c.calls);
        EXPECT_EQ(f.eventNames(), c.events);
        EXPECT_EQ(fieldsLike(f.named("Config"), {{"RSLT", 0}, {"RSN", 0}, {"CData", 0}}), c.config);
    }
}

TEST(InstallFlow, TheRunLogIsDeletedOnlyWhenTheUserClosedTheInstaller)
{
    const std::pair<QVariant, bool> cases[] = {
        {QVariant(), false},                           // the error screen's Close, the launch
        {QVariantMap{{"isUserAction", true}}, true},   // the confirmation's Yes
        {QVariantMap{{"isUserAction", false}}, true},  // any value counts
        {QVariantMap{{"withOverlay", true}}, false},
    };
    for (const auto &[object, deletes] : cases) {
        SCOPED_TRACE(object.toMap().keys().join(',').toStdString());
        FlowFixture f;
        QSLogger::debug("earlier record", QS_LOG_CONTEXT("-[Test quit]"));
        f.flow->quitInstallation(object);
        EXPECT_EQ(f.terminations, 1);
        EXPECT_EQ(QFileInfo::exists(f.env.logFilePath()), !deletes);
        EXPECT_TRUE(deletes || f.hasRecord("DEBUG", "Corvala end.", "-[QSMainController quitInstallation:]"));
    }
}

TEST(InstallFlow, TheProductStartsWithItsLocaleAndTheDriveFlagThenTheInstallerEnds)
{
    const struct {
        QString language, country;
        bool fromDrive, present, launches;
        QStringList arguments;  // empty: nothing to launch
    } cases[] = {
        {"en-US", "US", true, true, true, {"en-US", "launched-from-drive"}},
        {"de-AT", "AT", false, true, true, {"de-DE"}},                        // supported language, other country
        {"xx-ZZ", "ZZ", true, true, true, {"en-US", "launched-from-drive"}},  // unsupported locale
        {"en-US", "US", false, true, false, {"en-US"}},                       // the launch fails
        {"en-US", "US", false, false, true, {}},                              // the application is missing
    };
    for (const auto &c : cases) {
        SCOPED_TRACE((c.language + c.arguments.join(' ')).toStdString());
        FlowFixture f;
        f.env.host.languages = {c.language};
        f.env.host.country = c.country;
        f.env.host.launchSucceeds = c.launches;
        f.flow->setLaunchedFromDrive(c.fromDrive);
        f.startWith(kUnreachable);
        if (c.present)
            writeInstalledBundle(f.bundlePath(), "1234");
        f.events.clear();
        QList<QVariant> quits;
        const auto token = f.center().addObserver("QUIT_INSTALLATION", [&](const platform::Notification &n) { quits << n.object; });
        f.flow->launchAppWithPath();
        f.center().removeObserver(token);

        EXPECT_TRUE(f.screens.calls.contains("hideCloseButton"));
        EXPECT_EQ(quits, QList<QVariant>({QVariant()})) << "one quit, without an object: the run log is kept";
        EXPECT_EQ(f.env.host.launches.size(), c.present ? 1 : 0);
        EXPECT_EQ(f.env.host.launches.value(0).arguments, c.arguments);
        ASSERT_EQ(f.eventNames(), QStringList({"LaunchApp"}));
        const bool launched = c.present && c.launches;
        EXPECT_EQ(f.events[0].value("RSLT"), launched ? "PASS" : "FAIL");
        EXPECT_EQ(f.events[0].value("Arg").toArray(), QJsonArray::fromStringList(c.arguments));  // none when missing
        const QString record = !c.present ? QStringLiteral("\"Application path does not exist:%1\"").arg(f.bundlePath())
                                          : launched ? "Successfully launched app." : "Error Launching app.";
        EXPECT_TRUE(f.hasRecord(launched ? "DEBUG" : "ERROR", record, "-[QSMainController launchAppWithPath]"));
    }
}
