// The installer's side of the placement helper against the real helper, started directly (as root,
// as pkexec would) from a bundle with its own Info.plist: the protocol, the flow through it, and
// what a refused or failed authorisation does.
#include "EngineTestSupport.h"
#include "MinisignTool.h"
#include "TestHttpServer.h"

#include "engine/QSInstallFiles.h"
#include "engine/QSPrivilegedPlacement.h"

#include <QFileInfo>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>

#include <unistd.h>

using namespace enginetest;

namespace {

// A bundle in a root-only folder holding a copy of the helper and an Info.plist that sends the
// product to <folder>/apps.
struct HelperBundle {
    HelperBundle()
    {
        const QString contents = dir.filePath("Tiny.app/Contents");
        QDir().mkpath(contents + "/MacOS");
        helper = contents + "/MacOS/tiny-installer-helper";
        QFile::copy(QStringLiteral(TI_HELPER_PATH), helper);
        QFile info(contents + "/Info.plist");
        info.open(QIODevice::WriteOnly);
        info.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                   "<key>QSEnv</key><string>prod</string><key>QSConfig</key><dict>"
                   "<key>kQSInstallBinaryPathProd</key><string>Corvala.app</string>"
                   "<key>kQSApplicationsDirectory</key><string>" + apps().toUtf8() + "</string>"
                   "<key>kQSApplicationsMenuDirectory</key><string>" + dir.filePath("menu").toUtf8() + "</string>"
                   "<key>kQSArchivePublicKey</key><string>" + signer.publicKeyLine() + "</string>"
                   "</dict></dict></plist>\n");
    }
    QString apps() const { return dir.filePath("apps"); }
    QStringList appsEntries() const { return QDir(apps()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }
    QString writeArchive(const QByteArray &bytes) const
    {
        const QString path = dir.filePath("download.zip");
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }

    QTemporaryDir dir{QStringLiteral("/tmp/helper-test-XXXXXX")};
    QString helper;
    const MinisignTool signer;
};

#define REQUIRE_ROOT()                                                              \
    if (::geteuid() != 0)                                                           \
    GTEST_SKIP() << "the helper runs as root"

}  // namespace

TEST(PrivilegedPlacement, TheHelperAnswersReadyThenPlacesTheStreamedArchive)
{
    REQUIRE_ROOT();
    HelperBundle bundle;
    QSPrivilegedPlacement placement;
    placement.setLauncher(bundle.helper, {});
    QSignalSpy authorised(&placement, &QSPrivilegedPlacement::authorised);
    QSignalSpy placed(&placement, &QSPrivilegedPlacement::placed);
    placement.authorise();
    ASSERT_TRUE(authorised.wait(10000));
    EXPECT_TRUE(bundle.appsEntries().isEmpty()) << "nothing changes before the archive arrives";

    // Big enough to need many writes to the helper's standard input.
    QList<ZipEntry> entries = productEntries();
    entries << ZipEntry{"Corvala.app/Contents/Resources/big.bin", QByteArray(3 * 1024 * 1024, 'x')};
    const QByteArray archive = makeZip(entries);
    placement.place(bundle.writeArchive(archive), bundle.signer.sign(archive));
    ASSERT_TRUE(placed.wait(20000));
    EXPECT_EQ(placed.at(0).at(0).value<QSPrivilegedPlacement::Outcome>(), QSPrivilegedPlacement::Outcome::Placed)
        << placed.at(0).at(1).toString().toStdString();
    EXPECT_EQ(QFileInfo(bundle.apps() + "/Corvala.app/Contents/Resources/big.bin").size(), 3 * 1024 * 1024);
    EXPECT_EQ(bundle.appsEntries(), QStringList{"Corvala.app"});
    EXPECT_TRUE(QFileInfo::exists(bundle.dir.filePath("menu/Corvala.desktop"))) << "the helper writes the menu entry";
}

TEST(PrivilegedPlacement, RefusedMissingOrUntrustedHelpersAreReportedBeforeTheDownload)
{
    REQUIRE_ROOT();
    HelperBundle bundle;
    struct Case {
        const char *what;
        QString program;
        QStringList arguments;
        bool refused;
        std::function<void()> prepare;
    };
    const QList<Case> cases = {
        {"dialog dismissed", "/bin/sh", {"-c", "exit 126"}, true, {}},
        {"no authorisation possible", "/bin/sh", {"-c", "exit 127"}, true, {}},
        {"helper missing", bundle.dir.filePath("missing"), {}, false, {}},
        {"Info.plist writable by others", bundle.helper, {}, false,
         [&] { QFile::setPermissions(bundle.dir.filePath("Tiny.app/Contents/Info.plist"), QFileDevice::Permissions(0x6666)); }},
    };
    for (const Case &c : cases) {
        if (c.prepare)
            c.prepare();
        QSPrivilegedPlacement placement;
        placement.setLauncher(c.program, c.arguments);
        QSignalSpy unavailable(&placement, &QSPrivilegedPlacement::unavailable);
        QSignalSpy authorised(&placement, &QSPrivilegedPlacement::authorised);
        placement.authorise();
        ASSERT_TRUE(unavailable.wait(10000)) << c.what;
        EXPECT_EQ(unavailable.at(0).at(0).toBool(), c.refused) << c.what;
        EXPECT_TRUE(authorised.isEmpty()) << c.what;
    }
    EXPECT_TRUE(bundle.appsEntries().isEmpty());
}

TEST(PrivilegedPlacement, AnInstallerThatGoesAwayBeforeSendingTheWholeArchivePlacesNothing)
{
    REQUIRE_ROOT();
    HelperBundle bundle;
    {
        QSPrivilegedPlacement placement;
        placement.setLauncher(bundle.helper, {});
        QSignalSpy authorised(&placement, &QSPrivilegedPlacement::authorised);
        placement.authorise();
        ASSERT_TRUE(authorised.wait(10000));
    }  // closes the helper's input without a request
    EXPECT_TRUE(bundle.appsEntries().isEmpty());
}

TEST(PrivilegedPlacement, TheFlowAsksAtInstallAndPlacesThroughTheHelperWithTheRecordsOfItsOwnPlacement)
{
    REQUIRE_ROOT();
    struct Case {
        const char *what;
        QString program;  // empty: the helper
        QByteArray archive;
        QStringList events;
        QString reason;  // of the "Install" FAIL event and the failure screen; empty: success
        QString installed = {};  // the version already in the applications folder
        bool foreignSignature = false;
    };
    QList<ZipEntry> notExecutable = productEntries();
    notExecutable[2].perm = 0644;
    const QList<Case> cases = {
        {"placed", {}, makeZip(productEntries()), {"Config", "Download", "Extract", "Install"}, {}},
        {"refused", "/bin/sh", {}, {"Install"}, "Install error: authorisation refused"},
        {"bad bundle", {}, makeZip(notExecutable), {"Config", "Download", "Install", "Extract"}, "Extract error"},
        {"signature the helper refuses", {}, makeZip(productEntries()), {"Config", "Install", "Download"}, "Download Error",
         {}, true},
        {"older than the installed", {}, makeZip(productEntries()), {"Config", "Download", "Extract", "Install"},
         "Install error: version 1234 is older than the installed 99999", "99999"},
    };
    const MinisignTool stranger;
    ASSERT_TRUE(stranger.isValid());
    for (const Case &c : cases) {
        HelperBundle bundle;
        FlowFixture f;
        TestHttpServer server;
        server.answer("/Corvala.zip", {200, {}, c.archive});
        if (!c.installed.isEmpty())
            writeInstalledBundle(bundle.apps() + "/Corvala.app", c.installed);
        f.flow->setPlacementFactory([&](QObject *parent) {
            auto *placement = new QSPrivilegedPlacement(parent);
            if (c.program.isEmpty())
                placement->setLauncher(bundle.helper, {});
            else
                placement->setLauncher(c.program, {"-c", "exit 126"});
            return placement;
        });
        f.flow->startInstallation();
        EXPECT_TRUE(f.pending.isEmpty()) << c.what << ": the configuration waits for the authorisation";
        if (c.program.isEmpty()) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !f.pending.isEmpty(); }, 10000)) << c.what;
            auto config = std::const_pointer_cast<QSConfig>(makeConfig(server.url("/Corvala.zip").toString()));
            config->latestMacSignature = QString::fromUtf8((c.foreignSignature ? stranger : bundle.signer).sign(c.archive));
            f.pending.takeLast()(config, std::nullopt);
        }
        ASSERT_TRUE(f.waitUntilSettled()) << c.what;
        EXPECT_EQ(f.eventNames(), c.events) << c.what;
        if (c.reason.isEmpty()) {
            EXPECT_TRUE(f.screens.genericErrors.isEmpty()) << c.what;
            EXPECT_TRUE(QFileInfo(bundle.apps() + "/Corvala.app/Contents/MacOS/corvala").isExecutable()) << c.what;
            EXPECT_EQ(QJsonDocument::fromJson(readFile(f.versionFile())).object(), QJsonObject({{"version", "1234"}}));
            // The records of the installer's own placement, in its order, with the helper's folder.
            const QStringList log = f.env.logLines();
            const auto at = [&](const QString &text) {
                for (qsizetype i = 0; i < log.size(); ++i)
                    if (log[i].contains(text))
                        return i;
                return qsizetype(-1);
            };
            const QString staging = QFile::encodeName(bundle.apps()) + "/.Corvala.app.staging-";
            const QList<qsizetype> order = {at("Download Corvala installer success"), at("\"EVT\":\"Download\""),
                                            at("Extract Corvala installer success"), at("\"EVT\":\"Extract\""),
                                            at("Moved app [version: 1234 ] from path: " + staging),
                                            at("Updated version info at"), at("\"EVT\":\"Install\"")};
            EXPECT_FALSE(order.contains(-1)) << c.what << ": " << log.join("\n").toStdString();
            EXPECT_TRUE(std::is_sorted(order.begin(), order.end())) << log.join("\n").toStdString();
            EXPECT_TRUE(log[order[4]].contains("/content to " + f.env.host.applications + "\"")) << log[order[4]].toStdString();
            EXPECT_TRUE(hasLineStartingWith(f.env.consoleLines, "Path: [" + staging)) << f.env.consoleLines.join("\n").toStdString();
            EXPECT_EQ(f.named("Download").value("RSLT"), "PASS");
        } else {
            EXPECT_EQ(f.screens.genericErrors, QStringList{c.reason}) << c.what;
            EXPECT_EQ(f.named("Install").value("RSN").toString(), c.reason) << c.what;
            EXPECT_EQ(bundle.appsEntries(), c.installed.isEmpty() ? QStringList() : QStringList{"Corvala.app"}) << c.what;
            EXPECT_FALSE(QFileInfo::exists(f.versionFile())) << c.what;
        }
        if (c.foreignSignature) {
            // As when the installer's own check refuses it: one "Download" FAIL with the attempt's time and number.
            const QJsonObject download = f.named("Download");
            EXPECT_EQ(download.value("RSLT"), "FAIL");
            EXPECT_EQ(download.value("RSN"), "Signature verification failed");
            EXPECT_TRUE(download.value("T").isDouble());
            EXPECT_EQ(download.value("Tries"), 1);
        }
        EXPECT_FALSE(QFileInfo::exists(QSInstallFiles::archivePath())) << c.what;
    }
}
