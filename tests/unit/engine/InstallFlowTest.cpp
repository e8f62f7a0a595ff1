#include "FlowTestSupport.h"

#include "platform/NotificationCenter.h"
#include "telemetry/QSLogger.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include <gtest/gtest.h>

using enginetest::makeConfig;
using enginetest::writeInstalledBundle;
using Element = QSScreenElement;

namespace {

const QString kStart = QStringLiteral("-[QSMainController startInstallation]");
const QString kBlock = QStringLiteral("-[QSMainController startInstallation]_block_invoke");
// Nothing listens on the discard port: a download that gets that far fails later, unseen.
const QString kUnreachableArchive = QStringLiteral("http://127.0.0.1:9/archive.zip");

QSInfoAlert blockingAlert(const QString &messageKey, const QString &titleKey, const QString &icon)
{
    QSInfoAlert alert;
    alert.message = QSScreenText::plain(messageKey);  // no translations loaded: the key shows
    alert.title = titleKey;
    alert.iconName = icon;
    alert.close = true;
    alert.contactSupport = true;
    alert.subTitle = QSScreenText::visitOnlineSite();
    alert.exitOnClose = true;
    return alert;
}

QSInfoAlert offlineAlert()
{
    QSInfoAlert alert;
    alert.message = QSScreenText::plain("MessagePleaseTryLater");
    alert.title = "MessageNoInternetConnection";
    alert.iconName = "no_internet";
    alert.retry = true;
    alert.subTitle = QSScreenText::empty();
    return alert;
}

}  // namespace

TEST(InstallFlowStart, EachBlockingCheckShowsItsAlertAndSendsItsConfigEvent)
{
    struct Case {
        const char *what;
        std::function<void(FlowFixture &)> arrange;
        QString screen;
        QString errorRecord;  // null: none expected
        QSInfoAlert alert;
        QString reason;
    };
    const QList<Case> cases = {
        {"installed, unknown version",
         [](FlowFixture &f) { writeInstalledBundle(f.applicationsPath(), "Unknown_version"); },
         "AlreadyInstalled", "Corvala is already installed at %1. Aborting installation.",
         blockingAlert("QSAlreadyInstalledMessage", "QSAlreadyInstalledTitle", "alreadyInstalled"),
         "Application already installed"},
        {"installed with a version",
         [](FlowFixture &f) { writeInstalledBundle(f.applicationsPath(), "2.0.1"); },
         "AlreadyInstalled", "Corvala version 2.0.1 is already installed. Aborting installation.",
         blockingAlert("QSAlreadyInstalledMessage", "QSAlreadyInstalledTitle", "alreadyInstalled"),
         "Application already installed"},
        {"installed copy is checked before everything else",
         [](FlowFixture &f) {
             writeInstalledBundle(f.applicationsPath(), "2.0.1");
             f.env.host.os = platform::OsVersion{3, 0, 0};
             f.env.host.space = {true, 0, {}};
             f.env.host.reachability = std::nullopt;
         },
         "AlreadyInstalled", "Corvala version 2.0.1 is already installed. Aborting installation.",
         blockingAlert("QSAlreadyInstalledMessage", "QSAlreadyInstalledTitle", "alreadyInstalled"),
         "Application already installed"},
        {"old operating system, before space and network",
         [](FlowFixture &f) {
             f.env.host.os = platform::OsVersion{4, 18, 9};
             f.env.host.space = {true, 0, {}};
             f.env.host.reachability = std::nullopt;
         },
         "OSNotCompatible", QString(),
         blockingAlert("QSOSNotCompatibleMessage", "QSOSNotCompatibleTitle", "install_failed_block_img"),
         "OS is not compatible"},
        {"exactly 1 GiB free is not enough",
         [](FlowFixture &f) { f.env.host.space = {true, quint64(1) << 30, {}}; },
         "NotEnoughSpace", QString(), blockingAlert("QSNoSpaceMessage", "QSNoSpaceTitle", "no_space"),
         "Not enough space"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        c.arrange(f);
        f.flow->startInstallation();

        ASSERT_EQ(f.screens.alerts.size(), 1);
        EXPECT_EQ(f.screens.alerts.first(), c.alert);
        EXPECT_TRUE(f.hasRecord("DEBUG", QStringLiteral("Show %1 screen").arg(c.screen), kStart));
        if (!c.errorRecord.isNull())
            EXPECT_TRUE(f.hasRecord("ERROR", QString(c.errorRecord).replace("%1", f.env.host.applications), kStart));
        else
            EXPECT_EQ(f.env.logLines().filter("\"trace\": \"ERROR\"").size(), 0);

        ASSERT_EQ(f.events.names(), QStringList({"Config"}));
        const QJsonObject fields = f.events.events.first().fields;
        EXPECT_EQ(fields.value("RSLT"), "FAIL");
        EXPECT_EQ(fields.value("RSN"), c.reason);
        EXPECT_EQ(fields.value("T"), 0);
        EXPECT_FALSE(fields.contains("CData"));

        EXPECT_TRUE(f.pending.isEmpty()) << "no configuration request";
        EXPECT_TRUE(f.screens.shown(Element::ErrorView));
        EXPECT_FALSE(f.screens.shown(Element::InstallView));
        EXPECT_FALSE(f.screens.shown(Element::SpinnerView));
    }
}

TEST(InstallFlowStart, OfflineAtStartShowsTheRetryAlertAndSendsNothing)
{
    FlowFixture f;
    f.env.host.reachability = unsigned(platform::Reachable | platform::ConnectionRequired);
    f.flow->startInstallation();

    EXPECT_EQ(f.screens.calls, QStringList({"makeMainViewVisible", "showInfoAlert:no_internet"}));
    EXPECT_EQ(f.screens.alerts.first(), offlineAlert());
    EXPECT_TRUE(f.hasRecord("DEBUG", "Show NoInternet screen", kStart));
    EXPECT_TRUE(f.events.events.isEmpty());
    EXPECT_TRUE(f.pending.isEmpty());

    // Retry runs the whole start again; with the network back it connects.
    f.env.host.reachability = unsigned(platform::Reachable);
    f.flow->startInstallation();
    EXPECT_EQ(f.pending.size(), 1);
}

TEST(InstallFlowStart, NothingHappensWhileTheQuitConfirmationIsOpen)
{
    FlowFixture f;
    writeInstalledBundle(f.applicationsPath(), "2.0.1");
    f.screens.quitConfirmationOpen = true;
    const qsizetype recordsBefore = f.env.logLines().size();
    f.flow->startInstallation();
    EXPECT_TRUE(f.screens.calls.isEmpty());
    EXPECT_TRUE(f.events.events.isEmpty());
    EXPECT_TRUE(f.pending.isEmpty());
    EXPECT_EQ(f.env.logLines().size(), recordsBefore);
}

TEST(InstallFlowConfiguration, TheCompletionFollowsTheConfigurationTheErrorAndTheNetwork)
{
    enum class Expect { Download, Offline, ConfigError };
    struct Case {
        const char *what;
        bool withConfig;
        bool withError;
        bool online;
        Expect expect;
    };
    const QList<Case> cases = {
        {"configuration, no error", true, false, true, Expect::Download},
        {"configuration, no error, network gone meanwhile", true, false, false, Expect::Download},
        {"configuration with an error, online: used as it is", true, true, true, Expect::Download},
        {"configuration with an error, offline", true, true, false, Expect::Offline},
        {"error only, online", false, true, true, Expect::ConfigError},
        {"nothing at all, online", false, false, true, Expect::ConfigError},
        {"error only, offline", false, true, false, Expect::Offline},
        {"nothing at all, offline", false, false, false, Expect::Offline},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        f.flow->startInstallation();
        ASSERT_EQ(f.pending.size(), 1);
        EXPECT_EQ(f.screens.calls, QStringList({"showState:Connecting"}));
        EXPECT_TRUE(f.hasRecord("DEBUG", "Show Connecting screen", kStart));
        EXPECT_TRUE(f.screens.shown(Element::SpinnerView) && f.screens.shown(Element::ProgressView));
        EXPECT_FALSE(f.screens.shown(Element::ProgressStatus) || f.screens.shown(Element::InstallView) ||
                     f.screens.shown(Element::ErrorView) || f.screens.shown(Element::PageView));
        f.screens.calls.clear();
        if (!c.online)
            f.env.host.reachability = std::nullopt;
        const auto config = c.withConfig ? makeConfig(kUnreachableArchive, 3) : nullptr;
        const auto error = c.withError ? std::optional<QSNetworkError>(QSNetworkError{3, "Host not found"}) : std::nullopt;
        f.pending.takeFirst()(config, error);

        switch (c.expect) {
        case Expect::Download: {
            EXPECT_TRUE(f.hasRecord("DEBUG", "Load installer configuration success", kBlock));
            EXPECT_EQ(f.screens.calls.mid(0, 2), QStringList({"setupPageController", "showState:Downloading"}));
            ASSERT_EQ(f.events.names(), QStringList({"Config"}));
            const QJsonObject fields = f.events.events.first().fields;
            EXPECT_EQ(fields.value("RSLT"), "PASS");
            EXPECT_TRUE(fields.value("T").isDouble());
            EXPECT_GE(fields.value("T").toDouble(), 0.0);
            EXPECT_FALSE(fields.contains("RSN"));
            EXPECT_EQ(f.flow->config(), config);
            EXPECT_EQ(f.flow->downloadAttempt(), 1u);
            EXPECT_TRUE(f.flow->isDownloading());
            EXPECT_TRUE(f.screens.shown(Element::PageView));
            EXPECT_TRUE(f.screens.shown(Element::ProgressStatus));
            EXPECT_EQ(f.screens.look(Element::InstallButton), RecordingScreens::Look::Disabled);
            EXPECT_FALSE(f.screens.shown(Element::SpinnerView));
            break;
        }
        case Expect::Offline:
            EXPECT_EQ(f.screens.calls, QStringList({"makeMainViewVisible", "showInfoAlert:no_internet"}));
            EXPECT_TRUE(f.hasRecord("DEBUG", "Show NoInternet screen", kBlock));
            EXPECT_TRUE(f.events.events.isEmpty());
            EXPECT_FALSE(f.flow->isDownloading());
            break;
        case Expect::ConfigError: {
            EXPECT_EQ(f.screens.calls, QStringList({"showGenericError:Config error"}));
            ASSERT_EQ(f.events.names(), QStringList({"Install", "Config"}));
            EXPECT_EQ(f.events.events[0].fields.value("RSN"), "Config error");
            EXPECT_EQ(f.events.events[0].fields.value("URL"), "NA");
            const QJsonObject fields = f.events.events[1].fields;
            EXPECT_EQ(fields.value("RSLT"), "FAIL");
            EXPECT_EQ(fields.value("RSN"), "Config error");
            EXPECT_EQ(fields.value("CData"), "");
            EXPECT_TRUE(fields.value("T").isDouble());
            EXPECT_TRUE(f.screens.shown(Element::ErrorView));
            EXPECT_FALSE(f.flow->isDownloading());
            break;
        }
        }
    }
}

TEST(InstallFlowConfiguration, OnlyTheLatestStartCountsAndEachLoadGrantsAllAttemptsAgain)
{
    FlowFixture f;
    f.flow->startInstallation();
    f.flow->startInstallation();
    ASSERT_EQ(f.pending.size(), 2);
    f.pending[0](makeConfig(kUnreachableArchive), std::nullopt);
    EXPECT_TRUE(f.events.events.isEmpty()) << "a superseded answer is dropped";
    EXPECT_FALSE(f.flow->isDownloading());
    f.pending[1](makeConfig(kUnreachableArchive, 3), std::nullopt);
    EXPECT_EQ(f.events.names(), QStringList({"Config"}));
    EXPECT_TRUE(f.flow->isDownloading());

    // Nothing answers on the discard port: the first attempt fails and the second starts.
    ASSERT_TRUE(enginetest::waitFor([&] { return f.flow->downloadAttempt() == 2; }));
    f.flow->startInstallation();  // e.g. Retry on the offline alert during a download
    EXPECT_FALSE(f.flow->isDownloading()) << "a new start stops the running attempt";
    f.pending.takeLast()(makeConfig(kUnreachableArchive, 3), std::nullopt);
    EXPECT_EQ(f.flow->downloadAttempt(), 1u);
}

TEST(InstallFlowQuit, TheRunLogIsDeletedOnlyWhenTheUserClosedTheInstaller)
{
    struct Case {
        const char *what;
        QVariant object;
        bool deletesLog;
    };
    const QList<Case> cases = {
        {"no object (error screen's Close, launch)", QVariant(), false},
        {"confirmation's Yes", QVariantMap{{"isUserAction", true}}, true},
        {"any value for isUserAction", QVariantMap{{"isUserAction", false}}, true},
        {"a map without isUserAction", QVariantMap{{"withOverlay", true}}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        QSLogger::debug("earlier record", QS_LOG_CONTEXT("-[Test quit]"));
        ASSERT_TRUE(QFileInfo::exists(f.env.logFilePath()));
        f.flow->quitInstallation(c.object);
        EXPECT_EQ(f.terminations, 1);
        EXPECT_EQ(QFileInfo::exists(f.env.logFilePath()), !c.deletesLog);
        if (!c.deletesLog) {
            EXPECT_TRUE(f.hasRecord("DEBUG", "Corvala end.", "-[QSMainController quitInstallation:]"));
            EXPECT_TRUE(f.functionsOf("DEBUG", "User closed installer").isEmpty());
        }
    }
}

TEST(InstallFlowLaunch, TheProductStartsWithItsLocaleAndTheDriveFlagThenTheInstallerEnds)
{
    struct Case {
        const char *what;
        QStringList languages;
        QString country;
        bool fromDrive;
        bool appPresent;
        bool launchSucceeds;
        QStringList arguments;  // empty: no launch expected
        QString result;
    };
    const QList<Case> cases = {
        {"plain", {"en-US"}, "US", false, true, true, {"en-US"}, "PASS"},
        {"launched from drive", {"en-US"}, "US", true, true, true, {"en-US", "launched-from-drive"}, "PASS"},
        {"supported language, other country", {"de-AT"}, "AT", false, true, true, {"de-DE"}, "PASS"},
        {"unsupported locale falls back", {"xx-ZZ"}, "ZZ", true, true, true, {"en-US", "launched-from-drive"}, "PASS"},
        {"launch refused", {"en-US"}, "US", false, true, false, {"en-US"}, "FAIL"},
        {"application missing", {"en-US"}, "US", false, false, true, {}, "FAIL"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        f.env.host.languages = c.languages;
        f.env.host.country = c.country;
        f.env.host.launchSucceeds = c.launchSucceeds;
        f.flow->setLaunchedFromDrive(c.fromDrive);
        f.startWith(makeConfig(kUnreachableArchive, 1, "1234"));
        if (c.appPresent)
            writeInstalledBundle(f.applicationsPath(), "1234");
        f.events.events.clear();
        QList<QVariant> quits;
        const auto token = platform::NotificationCenter::defaultCenter().addObserver(
            "QUIT_INSTALLATION", [&](const platform::Notification &n) { quits << n.object; });

        f.flow->launchAppWithPath();
        platform::NotificationCenter::defaultCenter().removeObserver(token);

        EXPECT_TRUE(f.screens.calls.contains("hideCloseButton"));
        ASSERT_EQ(quits.size(), 1);
        EXPECT_FALSE(quits.first().isValid()) << "no object: the run log is kept";
        ASSERT_EQ(f.events.names(), QStringList({"LaunchApp"}));
        const QJsonObject fields = f.events.events.first().fields;
        EXPECT_EQ(fields.value("RSLT"), c.result);
        EXPECT_EQ(fields.value("DProd"), "Corvala");
        EXPECT_EQ(fields.value("URL"), kUnreachableArchive);
        EXPECT_EQ(fields.value("DProdVer"), "1234");
        if (c.arguments.isEmpty()) {
            EXPECT_TRUE(f.env.host.launches.isEmpty());
            EXPECT_FALSE(fields.contains("Arg"));
            EXPECT_TRUE(f.hasRecord("ERROR", QStringLiteral("\"Application path does not exist:%1\"").arg(f.applicationsPath()),
                                    "-[QSMainController launchAppWithPath]"));
            continue;
        }
        ASSERT_EQ(f.env.host.launches.size(), 1);
        EXPECT_EQ(f.env.host.launches.first().bundle, f.applicationsPath());
        EXPECT_EQ(f.env.host.launches.first().arguments, c.arguments);
        EXPECT_EQ(fields.value("Arg").toArray(), QJsonArray::fromStringList(c.arguments));
        EXPECT_TRUE(f.hasRecord(c.launchSucceeds ? "DEBUG" : "ERROR",
                                c.launchSucceeds ? "Successfully launched app." : "Error Launching app.",
                                "-[QSMainController launchAppWithPath]"));
    }
}

TEST(InstallFlowGenericError, MissingReasonAndConfigurationAreReportedAsNA)
{
    FlowFixture f;
    f.flow->showGenericError(QString());
    EXPECT_EQ(f.screens.genericErrors, QStringList({"NA"}));
    EXPECT_TRUE(f.hasRecord("DEBUG", "Show generic error screen.", "-[QSMainController showGenericError:]"));
    ASSERT_EQ(f.events.names(), QStringList({"Install"}));
    const QJsonObject fields = f.events.events.first().fields;
    for (const char *key : {"RSN", "URL", "DProdVer"})
        EXPECT_EQ(fields.value(key), "NA") << key;
    EXPECT_EQ(fields.value("RSLT"), "FAIL");
    EXPECT_EQ(fields.value("DProd"), "Corvala");
}
