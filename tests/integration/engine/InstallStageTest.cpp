// From a downloaded archive to the finished state: extraction, placement, the version file, and
// what happens to broken or hostile archives and failed placements.
#include "FlowTestSupport.h"
#include "TestHttpServer.h"

#include "engine/QSInstallFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTest>

#include <gtest/gtest.h>

using namespace enginetest;

namespace {

const QString kCopyFn = QStringLiteral("-[QSMainController copyAndFinishInstallation:]");
const QString kFinishedFn = QStringLiteral("-[QSMainController URLSession:downloadTask:didFinishDownloadingToURL:]");

bool settled(const FlowFixture &f)
{
    return !f.screens.genericErrors.isEmpty() || !f.screens.alerts.isEmpty() ||
        f.screens.calls.contains(QStringLiteral("updateLauchButtons"));
}

QString versionFile(const FlowFixture &f)
{
    return f.env.host.home + QStringLiteral("/AppData/Prod/mirolan_version.json");
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Serves body as the archive and runs the flow until it rests.
void installFrom(FlowFixture &f, TestHttpServer &server, const QByteArray &body)
{
    server.answer("/Corvala.zip", {200, {}, body});
    f.startWith(makeConfig(server.url("/Corvala.zip").toString(), 1, "1234"));
    ASSERT_TRUE(waitFor([&] { return !f.events.named("Install").isEmpty(); }));
}

}  // namespace

TEST(InstallStage, AGoodArchiveIsExtractedPlacedRecordedAndFinishesAfterTheTwoDelays)
{
    FlowFixture f;
    TestHttpServer server;
    const QString url = server.url("/Corvala.zip").toString();
    // Incompressible bytes in the product and a body sent in pieces, so progress moves in steps.
    QList<ZipEntry> entries = productEntries();
    QByteArray noise(3 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    entries << ZipEntry::file("Corvala.app/Contents/Resources/noise.bin", noise);
    TestHttpServer::Answer answer{200, {}, makeZip(entries), TestHttpServer::Fault::SlowBody};
    answer.chunkBytes = 256 * 1024;
    answer.chunkIntervalMs = 20;
    server.answer("/Corvala.zip", answer);
    f.startWith(makeConfig(url, 1, "1234"));
    ASSERT_TRUE(waitFor([&] { return !f.events.named("Install").isEmpty(); }));
    QElapsedTimer sinceInstall;
    sinceInstall.start();

    // Rising and never above 90 % while the body arrives; 90 when it is accepted, 100 when placed.
    const QList<float> progress = f.screens.progress;
    ASSERT_GE(progress.size(), 4);
    for (qsizetype i = 1; i < progress.size() - 2; ++i) {
        EXPECT_LE(progress[i], 90.0f);
        EXPECT_GE(progress[i], progress[i - 1]);
    }
    EXPECT_EQ(progress.mid(progress.size() - 3), QList<float>({90.0f, 90.0f, 100.0f}));
    EXPECT_DOUBLE_EQ(f.flow->progressPercents(), 100.0);
    EXPECT_EQ(f.screens.progressLabels.last(), "QSInstalling");

    EXPECT_EQ(f.events.names(), QStringList({"Config", "Download", "Extract", "Install"}));
    const QJsonObject download = f.events.named("Download").first().fields;
    EXPECT_EQ(download.value("RSLT"), "PASS");
    EXPECT_EQ(download.value("Tries"), 1);
    EXPECT_EQ(download.value("URL"), url);
    EXPECT_EQ(download.value("DProdVer"), "1234");
    EXPECT_TRUE(download.value("T").isDouble());
    for (const char *name : {"Extract", "Install"}) {
        const QJsonObject e = f.events.named(name).first().fields;
        EXPECT_EQ(e.value("RSLT"), "PASS") << name;
        EXPECT_EQ(e.value("DProd"), "Corvala") << name;
        EXPECT_EQ(e.value("URL"), url) << name;
        EXPECT_EQ(e.value("DProdVer"), "1234") << name;
    }

    // The bundle is in place, whole; the version file tells its build.
    EXPECT_TRUE(QFileInfo(f.applicationsPath() + "/Contents/MacOS/corvala").isExecutable());
    EXPECT_TRUE(QFileInfo(f.applicationsPath() + "/Contents/Resources/current").isSymLink());
    EXPECT_EQ(QJsonDocument::fromJson(readFile(versionFile(f))).object(), QJsonObject({{"version", "1234"}}));
    // The archive is gone; the extraction folder stays until the next download.
    const QString archive = QSInstallFiles::archivePath();
    EXPECT_FALSE(QFileInfo::exists(archive));
    EXPECT_FALSE(QFileInfo::exists(QSInstallFiles::partialPathFor(archive)));
    EXPECT_TRUE(QFileInfo(QSInstallFiles::extractionDirectoryFor(archive)).isDir());

    // Records in order, with their functions.
    EXPECT_TRUE(f.hasRecord("DEBUG", "Download Corvala installer success. Version downloaded: 1234", kFinishedFn));
    EXPECT_EQ(f.env.logLines().filter("\"message\":\" Download took ").size(), 1);
    EXPECT_TRUE(f.hasRecord("DEBUG", "Extract Corvala installer", kFinishedFn));
    EXPECT_TRUE(f.hasRecord("DEBUG", "Extract Corvala installer success", kFinishedFn));
    const QString unzip = QSInstallFiles::extractionDirectoryFor(archive);
    EXPECT_TRUE(f.hasRecord("DEBUG", QStringLiteral("Unzip from: %1 to: %2").arg(archive, unzip),
                            "-[QSMainController unzipFileWithPath:toPath:]"));
    EXPECT_TRUE(f.hasRecord("DEBUG", QStringLiteral("Moved app [version: 1234 ] from path: %1 to %2").arg(unzip, f.env.host.applications),
                            kCopyFn));
    const QStringList updated = f.env.logLines().filter("Updated version info at ");
    ASSERT_EQ(updated.size(), 1);
    EXPECT_TRUE(updated.first().contains("\"lang\": \"\", \"country\": \"\", \"locale\": \"\"")) << "a bare context";
    EXPECT_TRUE(updated.first().contains("/QSInstallFlowInstall.cpp\"")) << "the full source path";
    EXPECT_TRUE(hasLineStartingWith(f.env.consoleLines, QStringLiteral("Path: [%1]").arg(unzip)));

    // 0.8 s later the download-done state, 0.3 s after that the finished state.
    EXPECT_FALSE(f.screens.calls.contains("showState:DownloadDone"));
    ASSERT_TRUE(waitFor([&] { return f.screens.calls.contains("showState:DownloadDone"); }, 3000));
    const qint64 doneAt = sinceInstall.elapsed();
    EXPECT_GE(doneAt, 700);
    EXPECT_FALSE(f.screens.calls.contains("updateLauchButtons"));
    ASSERT_TRUE(waitFor([&] { return f.screens.calls.contains("updateLauchButtons"); }, 3000));
    EXPECT_GE(sinceInstall.elapsed() - doneAt, 250);

    using E = QSScreenElement;
    EXPECT_TRUE(f.screens.shown(E::LaunchButton));
    EXPECT_TRUE(f.screens.shown(E::ProgressStatus));
    EXPECT_FALSE(f.screens.shown(E::ProgressView));
    EXPECT_FALSE(f.screens.shown(E::InstallButton));
    EXPECT_FALSE(f.screens.shown(E::ErrorView));
    EXPECT_TRUE(f.screens.genericErrors.isEmpty());
}

TEST(InstallStage, BrokenOrHostileArchivesEndInExtractErrorAndWriteNothingOutside)
{
    const QByteArray good = makeZip(productEntries());
    struct Case {
        const char *what;
        QByteArray archive;
    };
    const QList<Case> cases = {
        {"not an archive", QByteArray(4096, 'g')},
        {"empty body", QByteArray()},
        {"truncated", good.left(good.size() / 2)},
        {"zip slip", makeZip({ZipEntry::file("Corvala.app/../../../../evil.txt", "owned")})},
        {"absolute path", makeZip({ZipEntry::file("/tmp/evil.txt", "owned")})},
        {"link out, then a file through it",
         makeZip({ZipEntry::folder("Corvala.app/"), ZipEntry::link("Corvala.app/out", "../../.."),
                  ZipEntry::file("Corvala.app/out/evil.txt", "owned")})},
        {"absolute link", makeZip({ZipEntry::link("Corvala.app/out", "/etc")})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        TestHttpServer server;
        installFrom(f, server, c.archive);

        EXPECT_EQ(f.screens.genericErrors, QStringList({"Extract error"}));
        EXPECT_EQ(f.events.names(), QStringList({"Config", "Download", "Install", "Extract"}));
        EXPECT_EQ(f.events.named("Install").first().fields.value("RSN"), "Extract error");
        EXPECT_EQ(f.events.named("Extract").first().fields.value("RSLT"), "FAIL");
        EXPECT_TRUE(f.hasRecord("ERROR", "Extract Corvala installer failed", kFinishedFn));
        EXPECT_EQ(f.env.logLines().filter("\"message\":\" Unzip failed: ").size(), 1);
        EXPECT_TRUE(hasLineStartingWith(f.env.consoleLines, "Unzip operation failed!"));

        EXPECT_TRUE(QDir(f.env.host.temporary).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        EXPECT_TRUE(QDir(f.env.host.applications).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        EXPECT_FALSE(QFileInfo::exists(versionFile(f)));
        EXPECT_FALSE(QFileInfo::exists("/tmp/evil.txt"));
        EXPECT_TRUE(treeOf(f.env.scratch.path()).filter("evil").isEmpty());
    }
}

TEST(InstallStage, AFailedPlacementIsReportedAndKeepsTheVersionFile)
{
    FlowFixture f;
    TestHttpServer server;
    QDir().mkpath(QFileInfo(versionFile(f)).path());
    QFile old(versionFile(f));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("{\"version\": \"1000\"}");
    old.close();
    // The archive holds some other bundle, not the one this environment installs.
    installFrom(f, server, makeZip(productEntries("Other.app")));

    EXPECT_EQ(f.screens.genericErrors, QStringList({"Install error"}));
    EXPECT_EQ(f.events.names(), QStringList({"Config", "Download", "Extract", "Install"}));
    EXPECT_EQ(f.events.named("Extract").first().fields.value("RSLT"), "PASS");
    EXPECT_EQ(f.events.named("Install").first().fields.value("RSLT"), "FAIL");
    EXPECT_EQ(f.events.named("Install").first().fields.value("RSN"), "Install error");
    EXPECT_EQ(f.env.logLines().filter("\"message\":\" Moving ").filter(kCopyFn).size(), 1);
    EXPECT_EQ(readFile(versionFile(f)), "{\"version\": \"1000\"}");
    EXPECT_TRUE(QDir(f.env.host.applications).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_TRUE(QDir(f.env.host.temporary).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    QTest::qWait(1300);
    EXPECT_FALSE(f.screens.calls.contains("updateLauchButtons"));
}

TEST(InstallStage, WhateverSitsAtTheTemporaryNamesIsRemovedNeverFollowed)
{
    FlowFixture f;
    TestHttpServer server;
    const QString archive = QSInstallFiles::archivePath();
    const QString outside = f.env.path("outside");
    QDir().mkpath(outside + "/folder");
    QFile victim(outside + "/victim.txt");
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
    victim.write("keep me");
    victim.close();
    QFile::link(outside + "/victim.txt", QSInstallFiles::partialPathFor(archive));
    QFile::link(outside + "/victim.txt", archive);
    QFile::link(outside + "/folder", QSInstallFiles::extractionDirectoryFor(archive));

    installFrom(f, server, makeZip(productEntries()));

    EXPECT_EQ(f.events.named("Install").first().fields.value("RSLT"), "PASS");
    EXPECT_EQ(readFile(outside + "/victim.txt"), "keep me");
    EXPECT_TRUE(QDir(outside + "/folder").isEmpty());
    EXPECT_FALSE(QFileInfo(QSInstallFiles::extractionDirectoryFor(archive)).isSymLink());
}

TEST(InstallStage, TheWholeRunWithTheRealConfigurationLoader)
{
    FlowFixture f;
    TestHttpServer server;
    const QString url = server.url("/Corvala.zip").toString();
    server.answer("/Corvala.zip", {200, {}, makeZip(productEntries())});
    const QJsonObject entry{{"appName", "Corvala"}, {"latestBuildMacUrl", url}, {"latestBuildMac", "2001"},
                            {"downloadRetryLimit", 2}};
    const QJsonObject document{{"config", QJsonArray{entry}}, {"analyticsUrl", server.url("/analytics").toString()},
                               {"logUploadUrl", server.url("/logs").toString()}};
    server.answerJson("/config", QJsonDocument(document).toJson());
    f.env.setSetting("PRODUCTION_URL", server.url("/config").toString());
    f.flow->setConfigLoader([](QSConfigProvider::Completion completion) {
        QSConfigProvider::loadConfigWithCompletion(std::move(completion));
    });

    f.flow->startInstallation();
    ASSERT_TRUE(waitFor([&] { return settled(f); }, 15000));
    EXPECT_EQ(f.events.names(), QStringList({"Config", "Download", "Extract", "Install"}));
    EXPECT_EQ(f.events.named("Install").first().fields.value("RSLT"), "PASS");
    EXPECT_EQ(QJsonDocument::fromJson(readFile(versionFile(f))).object(), QJsonObject({{"version", "2001"}}));
    ASSERT_GE(server.requests().size(), 2);
    EXPECT_EQ(server.requests()[0].path, "/config");
    EXPECT_EQ(server.requests()[1].path, "/Corvala.zip");
    // The archive request asks for the bytes as stored and carries no cookie.
    EXPECT_EQ(server.requests()[1].header("Accept-Encoding"), "identity");
    EXPECT_TRUE(server.requests()[1].header("Cookie").isNull());
}
