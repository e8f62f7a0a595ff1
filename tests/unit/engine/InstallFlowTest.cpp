// The flow before the download and after the placement, with a recording window and the fake host;
// the download and the placement themselves are in tests/integration/engine.
#include "EngineTestSupport.h"

#include "telemetry/QSLogger.h"

#include <QFileInfo>
#include <QJsonArray>

#include <gtest/gtest.h>

using namespace enginetest;

static const QString kStart = QStringLiteral("-[QSMainController startInstallation]");
// Nothing listens on the discard port: a download that gets that far fails later, unseen.
static const QString kUnreachable = QStringLiteral("http://127.0.0.1:9/archive.zip");

// Every row also fails the checks after its own and is offline: those must not be reached. No
// translations are loaded: the keys show.
TEST(InstallFlow, EachBlockingCheckShowsItsAlertAndSendsItsConfigEvent)
{
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
        EXPECT_EQ(f.screens.calls, QStringList({"showInfoAlert:" + c.icon}));
        EXPECT_EQ(f.screens.alerts.value(0), QSInfoAlert({QSScreenText::plain(c.key + "Message"), c.key + "Title", c.icon, false, true,
                                                          true, QSScreenText::visitOnlineSite(), false, true}));
        EXPECT_TRUE(f.hasRecord("DEBUG", QStringLiteral("Show %1 screen").arg(c.screen), kStart));
        EXPECT_TRUE(c.errorRecord.isEmpty() || f.hasRecord("ERROR", QString(c.errorRecord).replace("%1", f.env.host.applications), kStart));
        ASSERT_EQ(f.eventNames(), QStringList({"Config"}));
        EXPECT_EQ(fieldsLike(f.events[0], {{"RSLT", 0}, {"RSN", 0}, {"T", 0}, {"CData", 0}}),
                  QJsonObject({{"RSLT", "FAIL"}, {"RSN", c.reason}, {"T", 0}}));  // no "CData"
        EXPECT_TRUE(f.pending.isEmpty()) << "no configuration request";
    }
}

// The product starts with its locale (a supported language keeps its own, anything else is en-US)
// and the drive flag, then the installer ends once, keeping its run log.
TEST(InstallFlow, TheProductStartsWithItsLocaleAndTheDriveFlagThenTheInstallerEnds)
{
    const struct {
        QString language;
        bool fromDrive, present, launches;
        QStringList arguments;  // empty: nothing to launch
    } cases[] = {
        {"en-US", true, true, true, {"en-US", "launched-from-drive"}},
        {"de-AT", false, true, true, {"de-DE"}},
        {"xx-ZZ", true, true, true, {"en-US", "launched-from-drive"}},
        {"en-US", false, true, false, {"en-US"}},  // the launch fails
        {"en-US", false, false, true, {}},         // the application is missing
    };
    for (const auto &c : cases) {
        SCOPED_TRACE((c.language + c.arguments.join(' ')).toStdString());
        FlowFixture f;
        f.env.host.languages = {c.language};
        f.env.host.country = c.language.section('-', 1);
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
        EXPECT_EQ(quits, QList<QVariant>({QVariant()}));
        EXPECT_EQ(f.env.host.launches.size(), c.present ? 1 : 0);
        EXPECT_EQ(f.env.host.launches.value(0).arguments, c.arguments);
        ASSERT_EQ(f.eventNames(), QStringList({"LaunchApp"}));
        const bool launched = c.present && c.launches;
        EXPECT_EQ(std::pair(f.events[0].value("RSLT").toString(), f.events[0].value("Arg").toArray()),  // no "Arg" when missing
                  std::pair(QString(launched ? "PASS" : "FAIL"), QJsonArray::fromStringList(c.arguments)));
        const QString record = !c.present ? QStringLiteral("\"Application path does not exist:%1\"").arg(f.bundlePath())
                                          : launched ? "Successfully launched app." : "Error Launching app.";
        EXPECT_TRUE(f.hasRecord(launched ? "DEBUG" : "ERROR", record, "-[QSMainController launchAppWithPath]"));
    }
}
