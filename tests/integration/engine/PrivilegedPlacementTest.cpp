// The installer's side of the placement helper against the real helper, started directly (as root,
// as pkexec would) from a bundle with its own Info.plist: the flow through it, and what a refused,
// missing or untrusted helper does.
#include "EngineTestSupport.h"
#include "MinisignTool.h"
#include "TestHttpServer.h"

#include "engine/QSInstallFiles.h"
#include "engine/QSPrivilegedPlacement.h"

#include <QFileInfo>
#include <QSignalSpy>

#include <gtest/gtest.h>

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
        QFile::copy(QStringLiteral(TI_HELPER_PATH), helper);
        QFile info(contents + "/Info.plist");
        info.open(QIODevice::WriteOnly);
        info.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>QSEnv</key><string>prod</string>"
                   "<key>QSConfig</key><dict><key>kQSInstallBinaryPathProd</key><string>Corvala.app</string>"
                   "<key>kQSApplicationsDirectory</key><string>" + apps().toUtf8() + "</string>"
                   "<key>kQSApplicationsMenuDirectory</key><string>" + dir.filePath("menu").toUtf8() + "</string>"
                   "<key>kQSArchivePublicKey</key><string>" + signer.publicKeyLine() + "</string></dict></dict></plist>\n");
    }
    QString apps() const { return dir.filePath("apps"); }
    QStringList appsEntries() const { return QDir(apps()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }

    QTemporaryDir dir{QStringLiteral("/tmp/helper-test-XXXXXX")};
    QString helper = dir.filePath("Tiny.app/Contents/MacOS/tiny-installer-helper");
    const MinisignTool signer;
};

}  // namespace

TEST(PrivilegedPlacement, RefusedMissingOrUntrustedHelpersAreReportedBeforeTheDownload)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the helper runs as root";
    HelperBundle bundle;
    const struct {
        const char *what;
        QString program;
        QStringList arguments;
        bool refused;
    } cases[] = {
        {"dialog dismissed", "/bin/sh", {"-c", "exit 126"}, true},
        {"no authorisation possible", "/bin/sh", {"-c", "exit 127"}, true},
        {"helper missing", bundle.dir.filePath("missing"), {}, false},
        {"Info.plist writable by others", bundle.helper, {}, false},  // made so below
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (QString(c.what).startsWith("Info.plist"))
            QFile::setPermissions(bundle.dir.filePath("Tiny.app/Contents/Info.plist"), QFileDevice::Permissions(0x6666));
        QSPrivilegedPlacement placement;
        placement.setLauncher(c.program, c.arguments);
        QSignalSpy unavailable(&placement, &QSPrivilegedPlacement::unavailable), authorised(&placement, &QSPrivilegedPlacement::authorised);
        placement.authorise();
        ASSERT_TRUE(unavailable.wait(10000));
        EXPECT_EQ(unavailable.at(0).at(0).toBool(), c.refused);
        EXPECT_TRUE(authorised.isEmpty());
    }
    // A helper whose installer goes away after the authorisation, before any request, places nothing.
    {
        HelperBundle other;
        QSPrivilegedPlacement placement;
        placement.setLauncher(other.helper, {});
        QSignalSpy authorised(&placement, &QSPrivilegedPlacement::authorised);
        placement.authorise();
        ASSERT_TRUE(authorised.wait(10000));
        EXPECT_TRUE(other.appsEntries().isEmpty()) << "nothing changes before the archive arrives";
    }
    EXPECT_TRUE(bundle.appsEntries().isEmpty());
}

// The flow asks at Install, before the configuration, and places through the helper with the
// records of its own placement; each refusal of the helper ends on its screen.
TEST(PrivilegedPlacement, TheFlowPlacesThroughTheHelperOrEndsOnItsRefusal)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the helper runs as root";
    QList<ZipEntry> notExecutable = productEntries();
    notExecutable[2].perm = 0644;
    // Big enough to need many writes to the helper's standard input.
    const QByteArray archive = makeZip(productEntries() << ZipEntry{"Corvala.app/Contents/Resources/big.bin", QByteArray(3 << 20, 'x')});
    const struct {
        const char *what;
        bool refused;  // the authorisation dialog is dismissed
        QByteArray archive;
        QStringList events;
        QString reason;  // of the "Install" FAIL event and the failure screen; empty: placed
        QString installed = {};  // the version already in the applications folder
        bool foreignSignature = false;
    } cases[] = {
        {"placed", false, archive, {"Config", "Download", "Extract", "Install"}, {}},
        {"refused", true, {}, {"Install"}, "Install error: authorisation refused"},
        {"bad bundle", false, makeZip(notExecutable), {"Config", "Download", "Install", "Extract"}, "Extract error"},
        {"signature the helper refuses", false, archive, {"Config", "Install", "Download"}, "Download Error", {}, true},
        {"older than the installed", false, archive, {"Config", "Download", "Extract", "Install"},
         "Install error: version 1234 is older than the installed 99999", "99999"},
    };
    const MinisignTool stranger;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        HelperBundle bundle;
        FlowFixture f;
        TestHttpServer server;
        server.answer("/Corvala.zip", {200, {}, c.archive});
        if (!c.installed.isEmpty())
            writeInstalledBundle(bundle.apps() + "/Corvala.app", c.installed);
        f.flow->setPlacementFactory([&](QObject *parent) {
            auto *placement = new QSPrivilegedPlacement(parent);
            c.refused ? placement->setLauncher("/bin/sh", {"-c", "exit 126"}) : placement->setLauncher(bundle.helper, {});
            return placement;
        });
        f.flow->startInstallation();
        EXPECT_TRUE(f.pending.isEmpty()) << "the configuration waits for the authorisation";
        if (!c.refused) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !f.pending.isEmpty(); }, 10000));
            auto config = std::const_pointer_cast<QSConfig>(makeConfig(server.url("/Corvala.zip").toString()));
            config->latestMacSignature = QString::fromUtf8((c.foreignSignature ? stranger : bundle.signer).sign(c.archive));
            f.pending.takeLast()(config, std::nullopt);
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return f.screens.calls.contains("updateLauchButtons") || !f.screens.genericErrors.isEmpty(); }, 20000));
        EXPECT_EQ(f.eventNames(), c.events);
        EXPECT_FALSE(QFileInfo::exists(QSInstallFiles::archivePath()));
        if (!c.reason.isEmpty()) {
            EXPECT_EQ(f.screens.genericErrors, QStringList{c.reason});
            EXPECT_EQ(f.named("Install").value("RSN").toString(), c.reason);
            EXPECT_EQ(bundle.appsEntries(), c.installed.isEmpty() ? QStringList() : QStringList{"Corvala.app"});
            EXPECT_FALSE(QFileInfo::exists(f.versionFile()));
            EXPECT_TRUE(!c.foreignSignature || (f.named("Download").value("RSN") == "Signature verification failed" &&
                                                f.named("Download").value("T").isDouble() && f.named("Download").value("Tries") == 1));
            continue;
        }
        EXPECT_EQ(QFileInfo(bundle.apps() + "/Corvala.app/Contents/Resources/big.bin").size(), 3 << 20);
        EXPECT_TRUE(QFileInfo(bundle.apps() + "/Corvala.app/Contents/MacOS/corvala").isExecutable());
        EXPECT_TRUE(QFileInfo::exists(bundle.dir.filePath("menu/Corvala.desktop"))) << "the helper writes the menu entry";
        EXPECT_EQ(QJsonDocument::fromJson(readFile(f.versionFile())).object(), QJsonObject({{"version", "1234"}}));
        // The records of the installer's own placement, in its order, with the helper's folder.
        const QStringList log = f.env.logLines();
        const QString staging = QFile::encodeName(bundle.apps()) + "/.Corvala.app.staging-";
        const auto at = [&log](const QString &text) {
            return qsizetype(std::find_if(log.begin(), log.end(), [&](const QString &line) { return line.contains(text); }) - log.begin());
        };
        QList<qsizetype> order;
        for (const QString &text : {QStringLiteral("Download Corvala installer success"), QStringLiteral("\"EVT\":\"Download\""),
                                    QStringLiteral("Extract Corvala installer success"), QStringLiteral("\"EVT\":\"Extract\""),
                                    "Moved app [version: 1234 ] from path: " + staging, QStringLiteral("Updated version info at"),
                                    QStringLiteral("\"EVT\":\"Install\"")})
            order << at(text);
        EXPECT_TRUE(!order.contains(log.size()) && std::is_sorted(order.begin(), order.end())) << log.join("\n").toStdString();
        EXPECT_TRUE(log.value(order[4]).contains("/content to " + f.env.host.applications + "\""));
        EXPECT_TRUE(hasLineStartingWith(f.env.consoleLines, "Path: [" + staging));
    }
}
