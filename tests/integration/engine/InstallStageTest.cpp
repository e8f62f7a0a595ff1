// From a downloaded archive to the finished state: extraction, placement, the version file, and
// what happens with leftovers at the working names and with broken, hostile or misplaced archives.
#include "EngineTestSupport.h"
#include "TestHttpServer.h"

#include "engine/QSInstallFiles.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>

using namespace enginetest;

// Serves the answer as the archive and runs the flow until the "Install" event.
static void installFrom(FlowFixture &f, TestHttpServer &server, const TestHttpServer::Answer &answer)
{
    server.answer("/Corvala.zip", answer);
    f.startWith(server.url("/Corvala.zip").toString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.named("Install").isEmpty(); }, 10000));
}

TEST(InstallStage, AGoodArchiveIsExtractedPlacedRecordedAndFinishesAfterTheTwoDelays)
{
    FlowFixture f;
    TestHttpServer server;
    const QString url = server.url("/Corvala.zip").toString();
    // The temporary folder on a tmpfs, so the bundle is copied across file systems when it can be.
    QTemporaryDir shm(QStringLiteral("/dev/shm/engine-test-XXXXXX"));
    if (shm.isValid())
        f.env.host.temporary = shm.path();
    // Links at the working names from an earlier run, and a broken bundle (no version) in the way.
    const QString archive = QSInstallFiles::archivePath(), unzip = QSInstallFiles::extractionDirectoryFor(archive);
    const QString outside = f.env.path("outside");
    ASSERT_TRUE(QDir().mkpath(outside + "/folder") && QDir().mkpath(f.bundlePath() + "/Contents/Stale"));
    ASSERT_TRUE(QSInstallFiles::writeVersionFile(outside + "/victim.txt", "keep me", nullptr));
    QFile::link(outside + "/victim.txt", QSInstallFiles::partialPathFor(archive));
    QFile::link(outside + "/victim.txt", archive);
    QFile::link(outside + "/folder", unzip);
    // Incompressible bytes and a body sent in pieces, so progress moves in steps.
    QByteArray noise(3 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    TestHttpServer::Answer answer{200, {}, makeZip(productEntries() << ZipEntry{"Corvala.app/Contents/Resources/noise.bin", noise}),
                                  TestHttpServer::Fault::SlowBody};
    answer.chunkBytes = 256 * 1024;
    installFrom(f, server, answer);
    QElapsedTimer sinceInstall;
    sinceInstall.start();

    // Rising and at most 90 % while the body arrives; 90 when it is accepted, 100 when placed.
    const QList<float> progress = f.screens.progress;
    ASSERT_GE(progress.size(), 4);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.mid(progress.size() - 3), QList<float>({90.0f, 90.0f, 100.0f}));
    EXPECT_EQ(f.eventNames(), QStringList({"Config", "Download", "Extract", "Install"}));
    for (const QJsonObject &e : f.events.mid(1)) {
        const QJsonObject expected{{"RSLT", "PASS"}, {"URL", url}, {"DProdVer", "1234"}};
        EXPECT_EQ(fieldsLike(e, expected), expected) << e.value("EVT").toString().toStdString();
    }
    EXPECT_TRUE(f.hasRecord("DEBUG", QStringLiteral("Moved app [version: 1234 ] from path: %1 to %2").arg(unzip, f.env.host.applications),
                            "-[QSMainController copyAndFinishInstallation:]"));
    // The bundle in place, whole, replacing what was there; the version file; nothing followed.
    EXPECT_TRUE(QFileInfo(f.bundlePath() + "/Contents/MacOS/corvala").isExecutable());
    EXPECT_TRUE(QFileInfo(f.bundlePath() + "/Contents/Resources/current").isSymLink());
    EXPECT_FALSE(QFileInfo::exists(f.bundlePath() + "/Contents/Stale") || QFileInfo::exists(f.bundlePath() + "/Corvala.app"));
    EXPECT_EQ(QDir(f.env.host.applications).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"Corvala.app"}));
    EXPECT_EQ(QJsonDocument::fromJson(readFile(f.versionFile())).object(), QJsonObject({{"version", "1234"}}));
    // The menu entry of the person who placed it starts the placed product.
    const QString menuEntry = f.env.host.home + "/.local/share/applications/Corvala.desktop";
    EXPECT_TRUE(readFile(menuEntry).contains("\nExec=\"" + f.bundlePath().toUtf8() + "/Contents/MacOS/corvala\"\n")) << readFile(menuEntry).toStdString();
    if (!QStandardPaths::findExecutable("desktop-file-validate").isEmpty()) {
        EXPECT_EQ(QProcess::execute("desktop-file-validate", {menuEntry}), 0);
    }
    EXPECT_FALSE(QFileInfo::exists(archive) || QFileInfo::exists(QSInstallFiles::partialPathFor(archive)));
    EXPECT_EQ(readFile(outside + "/victim.txt"), QSInstallFiles::versionFileContent("keep me"));
    EXPECT_TRUE(isEmptyFolder(outside + "/folder"));
    // The archive is asked for as stored.
    EXPECT_EQ(server.requests().value(0).header("Accept-Encoding"), "identity");

    // 0.8 s later the download-done state, 0.3 s after that the finished state.
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.screens.calls.contains("showState:DownloadDone"); }, 3000));
    const qint64 doneAt = sinceInstall.elapsed();
    EXPECT_GE(doneAt, 700);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.screens.calls.contains("updateLauchButtons"); }, 3000));
    EXPECT_GE(sinceInstall.elapsed() - doneAt, 250);
}

TEST(InstallStage, BrokenHostileOrMisplacedArchivesFailAndLeaveNothingBehind)
{
    const QByteArray good = makeZip(productEntries());
    // Each ends on "Extract error": the bundle is judged before it leaves the extraction folder, by
    // the rule the placement helper follows too (its BadBundle shows the same screen).
    const struct {
        const char *what;
        QByteArray archive;
    } cases[] = {
        {"truncated", good.left(good.size() / 2)},
        {"zip slip", makeZip({{"Corvala.app/../../../../evil.txt", "owned"}})},
        {"absolute path", makeZip({{"/tmp/evil.txt", "owned"}})},
        {"link out, then a file through it",
         makeZip({{"Corvala.app/"}, {"Corvala.app/out", {}, "../../.."}, {"Corvala.app/out/evil.txt", "owned"}})},
        {"another bundle", makeZip(productEntries("Other.app"))},
        {"the bundle is a link", makeZip(productEntries("Other.app") << ZipEntry{"Corvala.app", {}, "Other.app"})},
        {"a link to a sibling bundle in the applications folder",
         makeZip(productEntries() << ZipEntry{"Corvala.app/Contents/Resources/sib", {}, "../../../OtherApp/secret"})},
        {"no executable", makeZip({{"Corvala.app/"}, {"Corvala.app/Contents/Info.plist", plist("1234")}})},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        TestHttpServer server;
        ASSERT_TRUE(QSInstallFiles::writeVersionFile(f.versionFile(), "1000", nullptr));
        installFrom(f, server, {200, {}, c.archive});

        EXPECT_EQ(f.screens.genericErrors, QStringList({"Extract error"}));
        EXPECT_EQ(f.named("Install").value("RSN"), "Extract error");
        EXPECT_EQ(f.eventNames(), QStringList({"Config", "Download", "Install", "Extract"}));
        EXPECT_EQ(f.named("Extract").value("RSLT"), "FAIL");
        // Recorded with the reason.
        EXPECT_EQ(f.env.logLines().filter("\"message\":\" Unzip failed: ").size(), 1);
        EXPECT_TRUE(isEmptyFolder(f.env.host.temporary) && isEmptyFolder(f.env.host.applications));
        EXPECT_EQ(readFile(f.versionFile()), QSInstallFiles::versionFileContent("1000"));
        EXPECT_FALSE(QFileInfo::exists("/tmp/evil.txt"));
        for (QDirIterator it(f.env.scratch.path(), QDir::AllEntries | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
             it.hasNext();)
            EXPECT_FALSE(it.next().contains("evil"));
    }
}

// The installed-copy check at Install stops the flow for an installed product; a bundle placed
// meanwhile is still never replaced by an older one.
TEST(InstallStage, AnOlderBuildNeverReplacesTheInstalledOneAndAnEqualOneReinstalls)
{
    const struct {
        const char *installed;
        QString reason;  // empty: placed
    } cases[] = {
        {"99999", "Install error: version 1234 is older than the installed 99999"},
        {"1234.0.1", "Install error: version 1234 is older than the installed 1234.0.1"},
        {"1234.0", {}},
        {"999", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.installed);
        FlowFixture f;
        TestHttpServer server;
        server.answer("/Corvala.zip", {200, {}, makeZip(productEntries())});
        f.startWith(server.url("/Corvala.zip").toString());
        // Placed by someone else after the check at Install that would have stopped the flow.
        writeInstalledBundle(f.bundlePath(), c.installed);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !f.named("Install").isEmpty(); }, 10000));
        const QByteArray info = readFile(f.bundlePath() + "/Contents/Info.plist");
        if (c.reason.isEmpty()) {
            EXPECT_TRUE(f.screens.genericErrors.isEmpty());
            EXPECT_EQ(info, plist("1234"));
            continue;
        }
        EXPECT_EQ(f.screens.genericErrors, QStringList({c.reason}));
        EXPECT_EQ(f.named("Install").value("RSN"), c.reason);
        EXPECT_EQ(info, plist(c.installed)) << "the installed bundle stays as it was";
        EXPECT_FALSE(QFileInfo::exists(f.bundlePath() + "/Contents/MacOS")) << "nothing of the new one is mixed in";
        EXPECT_FALSE(QFileInfo::exists(f.versionFile()));
        EXPECT_TRUE(isEmptyFolder(f.env.host.temporary));
    }
}
