// The installer's side of the placement helper against the real helper, started directly (as root,
// as pkexec would) from a bundle with its own Info.plist: the protocol, the flow through it, and
// what a refused or failed authorisation does.
#include "EngineTestSupport.h"
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
        helper = contents + "/MacOS/tiny-installer-helper";
        QFile::copy(QStringLiteral(TI_HELPER_PATH), helper);
        QFile info(contents + "/Info.plist");
        info.open(QIODevice::WriteOnly);
        info.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                   "<key>QSEnv</key><string>prod</string><key>QSConfig</key><dict>"
                   "<key>kQSInstallBinaryPathProd</key><string>Corvala.app</string>"
                   "<key>kQSApplicationsDirectory</key><string>" + apps().toUtf8() + "</string>"
                   "<key>kQSApplicationsMenuDirectory</key><string>" + dir.filePath("menu").toUtf8() + "</string>"
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
    placement.place(bundle.writeArchive(makeZip(entries)), {});
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

TEST(PrivilegedPlacement, TheFlowAsksAtInstallAndPlacesThroughTheHelper)
{
    REQUIRE_ROOT();
    struct Case {
        const char *what;
        QString program;  // empty: the helper
        QByteArray archive;
        QStringList events;
        QString reason;  // of the "Install" FAIL event and the failure screen; empty: success
    };
    QList<ZipEntry> notExecutable = productEntries();
    notExecutable[2].perm = 0644;
    const QList<Case> cases = {
        {"placed", {}, makeZip(productEntries()), {"Config", "Download", "Extract", "Install"}, {}},
        {"refused", "/bin/sh", {}, {"Install"}, "Install error: authorisation refused"},
        {"bad bundle", {}, makeZip(notExecutable), {"Config", "Download", "Install", "Extract"}, "Extract error"},
    };
    for (const Case &c : cases) {
        HelperBundle bundle;
        FlowFixture f;
        TestHttpServer server;
        server.answer("/Corvala.zip", {200, {}, c.archive});
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
            f.pending.takeLast()(makeConfig(server.url("/Corvala.zip").toString()), std::nullopt);
        }
        ASSERT_TRUE(f.waitUntilSettled()) << c.what;
        EXPECT_EQ(f.eventNames(), c.events) << c.what;
        if (c.reason.isEmpty()) {
            EXPECT_TRUE(f.screens.genericErrors.isEmpty()) << c.what;
            EXPECT_TRUE(QFileInfo(bundle.apps() + "/Corvala.app/Contents/MacOS/corvala").isExecutable()) << c.what;
            EXPECT_EQ(QJsonDocument::fromJson(readFile(f.versionFile())).object(), QJsonObject({{"version", "1234"}}));
        } else {
            EXPECT_EQ(f.screens.genericErrors, QStringList{c.reason}) << c.what;
            EXPECT_EQ(f.named("Install").value("RSN").toString(), c.reason) << c.what;
            EXPECT_TRUE(bundle.appsEntries().isEmpty()) << c.what;
            EXPECT_FALSE(QFileInfo::exists(f.versionFile())) << c.what;
        }
        EXPECT_FALSE(QFileInfo::exists(QSInstallFiles::archivePath())) << c.what;
    }
}
