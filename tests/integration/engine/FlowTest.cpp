// The installation flow against a server on 127.0.0.1: each way an answer, a signature or an
// archive can go, the screen and events it ends on, and what it leaves behind.
#include "EngineTestSupport.h"
#include "MinisignTool.h"
#include "TestHttpServer.h"

#include "engine/QSInstallFiles.h"
#include "platform/Localization.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <gtest/gtest.h>

using namespace enginetest;
using namespace std::chrono_literals;
using Answer = TestHttpServer::Answer;
using Fault = TestHttpServer::Fault;

namespace {

const QString kSuccess = QStringLiteral("updateLauchButtons");

bool anyReasonContains(const FlowFixture &f, const QString &text)
{
    return std::any_of(f.events.begin(), f.events.end(), [&](const QJsonObject &e) { return e.value("RSN").toString().contains(text); });
}

}  // namespace

TEST(Flow, EachAnswerEndsOnItsScreenWithItsEventsAndLeavesNothingOfAFailure)
{
    MinisignTool signer;
    ASSERT_TRUE(signer.isValid()) << signer.failure().toStdString();
    const QByteArray archive = makeZip(productEntries()), big = makeZip(productEntries() << ZipEntry{"Corvala.app/big", noise(4 << 20, 1)});
    const QByteArray signature = signer.sign(archive, "timestamp:1 file:Corvala.zip");
    QByteArray flipped = archive;
    flipped[flipped.size() / 3] = char(flipped[flipped.size() / 3] ^ 0x20);
    const QStringList passed{"Config", "Download", "Extract", "Install"}, answered{"Config", "Install", "Download"},
        broken{"Config", "Download", "Install", "Extract"};
    const QString downloadError = QStringLiteral("showGenericError:Download Error"), extractError = QStringLiteral("showGenericError:Extract error");
    const auto key = [](const MinisignTool &tool) { return [k = QString(tool.publicKeyLine())](FlowFixture &f, TestHttpServer &) { f.env.setSetting("kQSArchivePublicKey", k); }; };
    struct Row {
        const char *what;
        Answer answer;
        QString screen;       // the last screen call
        QStringList events;   // empty: Config, then one "Download" per attempt around the "Install" failure
        QString reason = {};  // in an event's reason
        int attempts = 1;     // the configuration's limit, and the requests the server sees
        QByteArray signature = {};
        std::function<void(FlowFixture &, TestHttpServer &)> prepare = {};  // before the start
        std::function<void(FlowFixture &, const TestHttpServer &)> verify = {};
        int requests = -1;  // when not one per attempt
        std::function<void(FlowFixture &)> started = {};  // once the configuration came
        qint64 maximumBytes = 0;  // "kQSMaximumArchiveBytes": no file in the temporary folder ever grows past it
    };
    const auto offline = [](FlowFixture &f) { f.env.host.reachability = std::nullopt; };
    const auto placed = [](const char *version) { return [version](FlowFixture &f) { writeInstalledBundle(f.bundlePath(), version); }; };
    const QList<Row> rows = {
        {"a body without a length", Answer{200, {}, archive, Fault::Chunked, -1, 1024, 1}, kSuccess, passed},
        {"slow but steady: 1.5 s in all, idle for 0.1 s at most", Answer{200, {}, archive, Fault::SlowBody, -1, int(archive.size() / 15 + 1), 100},
         kSuccess, passed, {}, 1, {}, [](FlowFixture &f, TestHttpServer &) { f.flow->setDownloadTimeouts({400ms}); }},
        {"202 with the archive as its body", Answer{202, {}, archive}, downloadError, answered, "HTTP Response with status code 202"},
        {"404, three attempts", Answer{404, {}, "not here"}, downloadError, {}, "HTTP Response with status code 404", 3,
         {}, {}, [](FlowFixture &f, const TestHttpServer &) {
             EXPECT_EQ(f.named("Download", 1).value("RSN"), "Current retry attempt 2, max download retry limit 3");
             const QString retrying = platform::localizedString("QSRetryingDownload").section(QStringLiteral("%@"), 0, 0);
             EXPECT_EQ(f.screens.statusLines.filter(retrying).size(), 2) << "the status line says a retry is coming";
             // An error page is not the archive: the bar never moves for it.
             EXPECT_TRUE(std::all_of(f.screens.progress.begin(), f.screens.progress.end(), [](float p) { return p == 0; }))
                 << QDebug::toString(f.screens.progress).toStdString();
         }},
        {"407 from the server itself", Answer{407, {}, "who?"}, downloadError, {}, "HTTP Response with status code 407", 2},
        {"503 with Retry-After past the cap: the cap's pause", Answer{503, {{"Retry-After", "3600"}}, "later"}, downloadError, {},
         "status code 503", 2, {}, [](FlowFixture &f, TestHttpServer &) { f.flow->setRetryBackoff(QSRetryBackoff({200ms, 2000ms})); },
         [](FlowFixture &, const TestHttpServer &server) {
             const qint64 gap = server.requests()[1].receivedAtMs - server.requests()[0].receivedAtMs;
             EXPECT_TRUE(gap >= 1900 && gap < 3500) << gap;
         }},
        {"connection refused", Answer{}, downloadError, {"Config", "Download", "Download", "Install"}, "and error code received is 1", 2,
         {}, [](FlowFixture &, TestHttpServer &server) { server.refuse(); }, {}, 0},
        {"a body short of its announced length", Answer{200, {}, archive, Fault::WrongLength, archive.size() + 100}, downloadError,
         {"Config", "Download", "Install"}, "error code received is 2"},
        {"bytes beyond the announced length",
         Answer{200, {{"Transfer-Encoding", "chunked"}, {"Content-Length", "16"}}, "20\r\n" + QByteArray(32, 'o') + "\r\n0\r\n\r\n"},
         downloadError, {"Config", "Download", "Install"}, "The server sent more than the announced 16 bytes"},
        {"server never answers", Answer{200, {}, "x", Fault::Stall}, downloadError, {"Config", "Download", "Install"},
         "No data arrived for 0.3 seconds", 1, {}, [](FlowFixture &f, TestHttpServer &) { f.flow->setDownloadTimeouts({300ms}); }},
        {"no length, past the largest archive", Answer{200, {}, big, Fault::Chunked, -1, 64 << 10, 5}, downloadError,
         {"Config", "Download", "Install"}, "more than 1048576 bytes, the largest archive accepted", 1, {}, {}, {}, -1, {}, 1 << 20},
        {"a length past the largest archive", Answer{200, {}, big}, downloadError, {"Config", "Download", "Install"}, "announced 4", 1, {}, {}, {}, -1, {},
         1 << 20},
        {"too little room where the archive is written", Answer{200, {}, archive}, QStringLiteral("showInfoAlert:no_space"),
         {"Config", "Download"}, "more bytes in ", 1, {}, [&archive](FlowFixture &f, TestHttpServer &) {
             f.env.host.spaceAt = [t = f.env.host.temporary, n = quint64(archive.size() / 2)](const QString &path) {
                 return platform::FreeSpace{true, path.startsWith(t) ? n : quint64(50) << 30, {}};
             };
         }},
        {"offline once the configuration came", Answer{200, {}, archive}, QStringLiteral("showInfoAlert:no_internet"), {"Config", "Download"},
         "Download failed", 3, {}, {}, {}, 1, offline},
        // Signatures: checked as the body arrives, the archive refused before a byte of it is parsed.
        {"good signature", Answer{200, {}, archive}, kSuccess, passed, {}, 1, signature, key(signer),
         [](FlowFixture &f, const TestHttpServer &) {
             EXPECT_FALSE(f.env.logLines().filter("Archive signature verified (trusted comment: timestamp:1 file:Corvala.zip)").isEmpty());
         }},
        {"no key: a signature is ignored", Answer{200, {}, archive}, kSuccess, passed, {}, 1, "rubbish"},
        // Root, however started, places only what the maker signed; masking "root" keeps the words.
        {"no key as root", Answer{200, {}, archive}, downloadError, answered, "Signature verification failed", 1, {},
         [](FlowFixture &f, TestHttpServer &) { f.env.host.superUser = true, f.env.host.login = "root"; },
         [](FlowFixture &f, const TestHttpServer &) {
             EXPECT_FALSE(f.env.logLines().filter("(error = Signature verification failed: the installer has administrator rights and its "
                                                  "Info.plist carries no kQSArchivePublicKey, so it places no unsigned archive)").isEmpty());
         }, 0},
        {"a flipped archive byte", Answer{200, {}, flipped}, downloadError, answered, "Signature verification failed", 1, signature, key(signer)},
        {"no signature for the key", Answer{200, {}, archive}, downloadError, answered, "Signature verification failed", 1, {}, key(signer),
         {}, 0},
        {"a malformed key in the bundle", Answer{200, {}, archive}, downloadError, answered, "Signature verification failed", 1, signature,
         [](FlowFixture &f, TestHttpServer &) { f.env.setSetting("kQSArchivePublicKey", "RWnotakey"); }, {}, 0},
        // Archives judged before the bundle leaves the extraction folder, by the placement helper's rule.
        {"truncated", Answer{200, {}, archive.left(archive.size() / 2)}, extractError, broken, "Extract error"},
        {"zip slip", Answer{200, {}, makeZip({{"Corvala.app/../../../../evil.txt", "owned"}})}, extractError, broken, "Extract error"},
        {"another bundle", Answer{200, {}, makeZip(productEntries("Other.app"))}, extractError, broken, "Extract error"},
        {"the bundle is a link", Answer{200, {}, makeZip(productEntries("Other.app") << ZipEntry{"Corvala.app", {}, "Other.app"})},
         extractError, broken, "Extract error"},
        {"no executable", Answer{200, {}, makeZip({{"Corvala.app/"}, {"Corvala.app/Contents/Info.plist", plist("1234")}})}, extractError,
         broken, "Extract error"},
        // A bundle placed by someone else after the installed-copy check at Install.
        {"an older build than one placed meanwhile", Answer{200, {}, archive},
         QStringLiteral("showGenericError:Install error: version 1234 is older than the installed 1234.0.1"),
         {"Config", "Download", "Extract", "Install"}, "older than the installed", 1, {}, {},
         [](FlowFixture &f, const TestHttpServer &) { EXPECT_EQ(readFile(f.bundlePath() + "/Contents/Info.plist"), plist("1234.0.1")); },
         -1, placed("1234.0.1")},
        {"the same build as one placed meanwhile", Answer{200, {}, archive}, kSuccess, passed, {}, 1, {}, {}, {}, -1, placed("1234.0")},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        FlowFixture f;
        ASSERT_TRUE(QSInstallFiles::writeVersionFile(f.versionFile(), "1000", nullptr));
        TestHttpServer server;
        server.answer("/Corvala.zip", row.answer);
        const QString url = server.url("/Corvala.zip").toString();
        if (row.prepare)
            row.prepare(f, server);
        if (row.maximumBytes)
            f.env.setSetting("kQSMaximumArchiveBytes", QString::number(row.maximumBytes));
        qint64 largest = 0;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            for (const QFileInfo &file : QDir(f.env.host.temporary).entryInfoList(QDir::Files | QDir::Hidden))
                largest = std::max(largest, file.size());
        });
        watch.start(1);
        f.startWith(url, row.attempts, row.signature);
        if (row.started)
            row.started(f);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !f.screens.calls.isEmpty() && f.screens.calls.last().startsWith(row.screen); }, 20000))
            << f.screens.calls.join(',').toStdString();

        EXPECT_EQ(server.requests().size(), row.requests < 0 ? row.attempts : row.requests);
        QStringList events = row.events;
        if (events.isEmpty()) {
            events << "Config" << QStringList(row.attempts - 1, "Download") << "Install" << "Download";
        }
        EXPECT_EQ(f.eventNames(), events);
        for (int i = 0; i < f.eventNames().count("Download"); ++i) {
            const QJsonObject expected{{"Tries", i + 1}, {"URL", url}};
            EXPECT_EQ(fieldsLike(f.named("Download", i), expected), expected);
        }
        EXPECT_TRUE(row.reason.isEmpty() || anyReasonContains(f, row.reason)) << QJsonDocument(f.events.last()).toJson().toStdString();
        const bool installed = row.screen == kSuccess;
        EXPECT_EQ(QFileInfo(f.bundlePath() + "/Contents/MacOS/corvala").isExecutable(), installed);
        EXPECT_EQ(readFile(f.versionFile()), QSInstallFiles::versionFileContent(installed ? "1234" : "1000"));
        // The archive goes as soon as its tree is extracted; a failure leaves nothing at all.
        EXPECT_TRUE(installed ? !QFileInfo::exists(QSInstallFiles::archivePath()) : isEmptyFolder(f.env.host.temporary));
        EXPECT_FALSE(QFileInfo::exists("/tmp/evil.txt") || QFileInfo::exists(f.env.path("evil.txt")));
        EXPECT_TRUE(!row.maximumBytes || largest <= row.maximumBytes) << largest;
        if (row.verify)
            row.verify(f, server);
    }
}

// The whole way to the finished state: progress in steps, the bundle replacing a broken one,
// the version file and the menu entry, links at the working names never followed, the two delays.
TEST(Flow, AGoodArchiveIsPlacedRecordedAndFinishesAfterTheTwoDelays)
{
    FlowFixture f;
    TestHttpServer server;
    // The temporary folder on a tmpfs, so the bundle is copied across file systems when it can be.
    QTemporaryDir shm(QStringLiteral("/dev/shm/engine-test-XXXXXX"));
    if (shm.isValid())
        f.env.host.temporary = shm.path();
    const QString archive = QSInstallFiles::archivePath(), unzip = QSInstallFiles::extractionDirectoryFor(archive);
    const QString outside = f.env.path("outside");
    ASSERT_TRUE(QDir().mkpath(outside + "/folder") && QDir().mkpath(f.bundlePath() + "/Contents/Stale"));
    ASSERT_TRUE(QSInstallFiles::writeVersionFile(outside + "/victim.txt", "keep me", nullptr));
    QFile::link(outside + "/victim.txt", QSInstallFiles::partialPathFor(archive));
    QFile::link(outside + "/victim.txt", archive);
    QFile::link(outside + "/folder", unzip);
    Answer answer{200, {}, makeZip(productEntries() << ZipEntry{"Corvala.app/Contents/Resources/noise.bin", noise(3 << 20, 7)}), Fault::SlowBody};
    answer.chunkBytes = 256 * 1024;
    server.answer("/Corvala.zip", answer);
    f.startWith(server.url("/Corvala.zip").toString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.named("Install").isEmpty(); }, 10000));
    QElapsedTimer sinceInstall;
    sinceInstall.start();

    // Rising and at most 90 % while the body arrives; 90 when it is accepted, 100 when placed.
    const QList<float> progress = f.screens.progress;
    ASSERT_GE(progress.size(), 4);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.mid(progress.size() - 3), QList<float>({90.0f, 90.0f, 100.0f}));
    EXPECT_EQ(f.named("Install").value("RSLT"), "PASS");
    EXPECT_TRUE(f.hasRecord("DEBUG", QStringLiteral("Moved app [version: 1234 ] from path: %1 to %2").arg(unzip, f.env.host.applications),
                            "-[QSMainController copyAndFinishInstallation:]"));
    EXPECT_TRUE(QFileInfo(f.bundlePath() + "/Contents/Resources/current").isSymLink());
    EXPECT_FALSE(QFileInfo::exists(f.bundlePath() + "/Contents/Stale") || QFileInfo::exists(f.bundlePath() + "/Corvala.app"));
    EXPECT_EQ(QDir(f.env.host.applications).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList({"Corvala.app"}));
    EXPECT_EQ(QJsonDocument::fromJson(readFile(f.versionFile())).object(), QJsonObject({{"version", "1234"}}));
    const QString menuEntry = f.env.host.home + "/.local/share/applications/Corvala.desktop";
    EXPECT_TRUE(readFile(menuEntry).contains("\nExec=\"" + f.bundlePath().toUtf8() + "/Contents/MacOS/corvala\"\n"));
    if (!QStandardPaths::findExecutable("desktop-file-validate").isEmpty()) {
        EXPECT_EQ(QProcess::execute("desktop-file-validate", {menuEntry}), 0);
    }
    EXPECT_FALSE(QFileInfo::exists(archive) || QFileInfo::exists(QSInstallFiles::partialPathFor(archive)));
    EXPECT_EQ(readFile(outside + "/victim.txt"), QSInstallFiles::versionFileContent("keep me"));
    EXPECT_TRUE(isEmptyFolder(outside + "/folder"));
    EXPECT_EQ(server.requests().value(0).header("Accept-Encoding"), "identity");  // the archive as stored
    EXPECT_EQ(server.requests().value(0).header("Cache-Control") + server.requests().value(0).header("Pragma"), "");

    // 0.8 s later the download-done state, 0.3 s after that the finished state.
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.screens.calls.contains("showState:DownloadDone"); }, 3000));
    const qint64 doneAt = sinceInstall.elapsed();
    EXPECT_GE(doneAt, 700);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.screens.calls.contains(kSuccess); }, 3000));
    EXPECT_GE(sinceInstall.elapsed() - doneAt, 250);
}
