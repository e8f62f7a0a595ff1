#include "BundlePlacement.h"
#include "archive/BundleRemoval.h"
#include "platform/DesktopEntry.h"
#include "platform/RunningPrograms.h"
#include "platform/PlacementLock.h"
#include "MinisignTool.h"
#include "TestEnv.h"
#include "TestZip.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <archive_entry.h>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <functional>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace archives::placement;

namespace {

using Entry = TestZipEntry;

QByteArray infoWith(const QByteArray &shortVersion, const QByteArray &build)
{
    const auto entry = [](const QByteArray &key, const QByteArray &value) {
        return value.isEmpty() ? QByteArray() : "<key>" + key + "</key><string>" + value + "</string>";
    };
    return "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleExecutable</key><string>Corvala</string>" +
        entry("CFBundleShortVersionString", shortVersion) + entry("CFBundleVersion", build) + "</dict></plist>";
}

QList<Entry> product(const QByteArray &marker, const QByteArray &version = {}, const QByteArray &build = {})
{
    return {{"Corvala.app/Contents/Info.plist", infoWith(version, build)},
            {"Corvala.app/Contents/MacOS/Corvala", "#!/bin/sh\n" + marker, {}, 02777},
            {"Corvala.app/Contents/Resources/", {}, {}, 01777},
            {"Corvala.app/Contents/Resources/current", {}, "../MacOS/Corvala"}};
}

QByteArray zipOf(const QList<Entry> &entries) { return testZipBytes(entries); }

// The archive's frames as a download sends them: data in pieces of the given size, then the end.
QByteArray framesOf(const QByteArray &zip, qsizetype piece = 1000, bool end = true)
{
    QByteArray frames;
    for (qsizetype at = 0; at < zip.size(); at += piece)
        frames += "data " + QByteArray::number(qMin(piece, zip.size() - at)) + "\n" + zip.mid(at, piece);
    return end ? frames + "end " + QByteArray::number(zip.size()) + "\n" : frames;
}
QByteArray dataOf(const QByteArray &zip) { return framesOf(zip, 1000, false); }

// The helper's request: a header of lines, a blank line, the archive's frames.
QByteArray requestOf(const QByteArray &zip, const QByteArray &signature = {}, const QByteArray &frames = {})
{
    const QByteArray signatureLine = signature.isEmpty() ? QByteArray() : "signature " + signature.toBase64() + "\n";
    return signatureLine + "\n" + (frames.isNull() ? framesOf(zip) : frames);
}

class BundlePlacementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the placement gives the bundle to root";
        ASSERT_TRUE(signer.isValid()) << signer.failure().toStdString();
        apps = dir.filePath("Applications");
        settings.applicationsDirectory = apps;
        settings.bundleName = "Corvala.app";
        settings.productName = "Corvala";
        settings.menuFolder = dir.filePath("menu");
        settings.archivePublicKey = QString::fromLatin1(signer.publicKeyLine());
        settings.maxArchiveBytes = qint64(1) << 30;
    }
    QStringList appsEntries() const { return QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }
    QByteArray request(const QByteArray &archive) const { return requestOf(archive, signer.sign(archive)); }
    QByteArray installedExecutable() const { return readFile(apps + "/Corvala.app/Contents/MacOS/Corvala"); }

    // Feeds bytes to a placement through a file, as the helper's standard input.
    Status place(const QByteArray &input, QString *error = nullptr, std::function<void(const QByteArray &)> report = {})
    {
        QFile file(dir.filePath("stdin"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(input) == input.size());
        file.close();
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        BundlePlacement placement(settings);
        placement.setReporter(std::move(report));
        const Status status = placement.run(file.handle());
        if (error)
            *error = placement.errorString();
        return status;
    }

    // A bundle as a placement leaves it (files root's, read-only when asked) and, with entry, its menu entry.
    QString makeBundle(const QByteArray &identifier, bool entry = true, bool readOnly = false) const
    {
        const QString bundle = apps + "/Corvala.app";
        EXPECT_TRUE(QDir().mkpath(bundle + "/Contents/MacOS") && QDir().mkpath(bundle + "/Contents/Resources/deep"));
        writeTo(bundle + "/Contents/Info.plist", "<plist><dict><key>CFBundleExecutable</key><string>Corvala</string>"
                "<key>CFBundleIdentifier</key><string>" + identifier + "</string></dict></plist>");
        writeTo(bundle + "/Contents/MacOS/Corvala", "#!/bin/sh\n", 0755);
        writeTo(bundle + "/Contents/Resources/deep/data", "x", readOnly ? 0444 : 0644);
        for (const char *folder : {"/Contents/Resources/deep", "/Contents/Resources", "/Contents/MacOS", "/Contents"})
            ::chmod(QFile::encodeName(bundle + folder).constData(), readOnly ? 0555 : 0755);
        QString error;
        EXPECT_TRUE(!entry || platform::DesktopEntry::update(bundle, "Corvala", settings.menuFolder, &error, "/usr/bin/ti"))
            << error.toStdString();
        return bundle;
    }
    static void writeTo(const QString &path, const QByteArray &bytes, int mode = 0644)
    {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        ::chmod(QFile::encodeName(path).constData(), mode_t(mode));
    }
    QStringList menuEntries() const { return QDir(settings.menuFolder).entryList(QDir::Files | QDir::System); }

    QTemporaryDir dir;
    QString apps;
    archives::PlacementSettings settings;
    const MinisignTool signer;
};

}  // namespace

// Whatever is refused, and why, the bundle placed before stays whole and nothing else is left.
TEST_F(BundlePlacementTest, RefusedRequestsLeaveTheOldBundleAndNoStagingBehind)
{
    const MinisignTool stranger;
    ASSERT_TRUE(stranger.isValid()) << stranger.failure().toStdString();
    QList<Entry> noExecutable = product("x"), notExecutable = product("x"), linkOut = product("x"), chain = product("x");
    noExecutable.removeAt(1);
    notExecutable[1].perm = 0644;
    linkOut += {Entry{"Corvala.app/Contents/out", {}, "../../Other.app/x"}, Entry{"Other.app/x", "x"}};
    chain += {Entry{"Corvala.app/d", {}, "."}, Entry{"Corvala.app/esc", {}, "d/d/../../etc/hostname"}};
    const QByteArray archive = zipOf(product("new"));
    QByteArray flipped = archive;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x01);
    const struct {
        const char *what;
        QByteArray input;
        Status expected;
        bool withKey = true;
        qint64 maxBytes = qint64(1) << 30;
        const char *reason = "";
    } cases[] = {
        {"no header", archive, BadRequest},
        {"above the maximum, refused at the frame that passes it", request(archive), BadRequest, true, archive.size() - 1},
        {"stream ends within a frame", requestOf(archive, signer.sign(archive), dataOf(archive).chopped(10)), BadRequest},
        {"stream ends without its end frame", requestOf(archive, signer.sign(archive), dataOf(archive)), BadRequest},
        {"end frame with another length", requestOf(archive, signer.sign(archive), framesOf(archive).replace("end ", "end 1")), BadRequest},
        {"unknown frame", requestOf(archive, signer.sign(archive), "skip 3\nabc" + framesOf(archive)), BadRequest},
        {"a frame line past its limit", requestOf(archive, signer.sign(archive), "data " + QByteArray(70, '0') + "1\nx"), BadRequest, true,
         qint64(1) << 30, "a frame line is longer than 64 bytes"},
        {"more restarts than the attempts and a margin", "attempts 2\n" + requestOf(archive, signer.sign(archive), QByteArray("restart\n").repeated(7)),
         BadRequest, true, qint64(1) << 30, "more than 6 restarts"},
        {"more after the end", request(archive) + "tail", BadRequest},
        {"a restart keeps only the bytes after it",
         requestOf(archive, signer.sign(archive), dataOf(archive) + "restart\n" + framesOf(archive.left(50))), SignatureRejected},
        {"no signature", requestOf(archive), SignatureRejected},
        {"a flipped byte", requestOf(flipped, signer.sign(archive)), SignatureRejected},
        {"another key's signature", requestOf(archive, stranger.sign(archive)), SignatureRejected},
        {"a signature that is not minisign's", requestOf(archive, "untrusted comment: x\nnot base64\n"), SignatureRejected},
        {"no key in the bundle, unsigned", requestOf(archive), NotConfigured, false},
        {"no key in the bundle, signed", request(archive), NotConfigured, false},
        {"not an archive", request("this is not a zip"), ExtractFailed},
        {"link chain", request(zipOf(chain)), ExtractFailed},
        {"wrong bundle name", request(zipOf({{"Other.app/Contents/Info.plist", infoWith("", "")}})), BadBundle},
        {"no executable", request(zipOf(noExecutable)), BadBundle},
        {"executable without execute bit", request(zipOf(notExecutable)), BadBundle},
        {"link that leaves the bundle", request(zipOf(linkOut)), BadBundle},
    };
    // A download that starts over: what came before the restart is dropped, file and check alike. A
    // longer archive before it would leave its central directory behind a file not cut short.
    const QByteArray old = zipOf(product("old"));
    QList<Entry> decoy = product("decoy");
    decoy += Entry{"Corvala.app/Contents/padding", QByteArray(4096, 'p')};
    ASSERT_EQ(place(requestOf(old, signer.sign(old), "data 5\njunk!" + dataOf(zipOf(decoy)) + "restart\n" + framesOf(old, 7))),
              Placed);
    const QString key = settings.archivePublicKey;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        settings.archivePublicKey = c.withKey ? key : QString();
        settings.maxArchiveBytes = c.maxBytes;
        QString error;
        EXPECT_EQ(place(c.input, &error), c.expected) << error.toStdString();
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(error.contains(c.reason)) << error.toStdString();
        EXPECT_EQ(appsEntries(), QStringList{"Corvala.app"});
        EXPECT_TRUE(installedExecutable().endsWith("old"));
    }
}

// An installer that stops sending, before the header or within a frame, does not hold the helper.
TEST_F(BundlePlacementTest, AStalledRequestEndsOnTheIdleLimit)
{
    for (const QByteArray &sent : {QByteArray(), "signature " + signer.sign("x").toBase64() + "\n\ndata 10\n12345"}) {
        int ends[2];
        ASSERT_TRUE(::pipe(ends) == 0 && ::write(ends[1], sent.constData(), size_t(sent.size())) == sent.size());
        ArchiveReceiver receiver(settings.archivePublicKey, 1 << 20, dir.path());
        receiver.setIdleLimit(200);
        const Status status = receiver.receiveHeader(ends[0]);
        EXPECT_EQ(status == Placed ? receiver.receiveArchive(ends[0], ::open("/dev/null", O_WRONLY | O_CLOEXEC)) : status, BadRequest);
        EXPECT_EQ(receiver.errorString(), "nothing came from the installer for 0.2 s");
        ::close(ends[0]), ::close(ends[1]);
    }
}

TEST_F(BundlePlacementTest, AnOlderBundleNeverReplacesANewerOne)
{
    // In order, each over what the steps before left: (version, build, outcome).
    const QList<std::tuple<QByteArray, QByteArray, Status>> steps = {
        {"9.0", "", Placed},     {"1.0", "", OlderVersion}, {"8.99.99", "", OlderVersion},
        {"", "", OlderVersion},  // no version at all counts as 0
        {"9.0", "", Placed},     // an equal version reinstalls
        {"9.0.0", "7", Placed},  // a missing component is 0; the build decides next
        {"9", "6", OlderVersion},
        {"9.0", "10", Placed},   // 10 > 7 as numbers, not as text
        {"10.0", "1", Placed},
    };
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const auto &[version, build, expected] = steps[i];
        const QByteArray marker = "step " + QByteArray::number(i);
        const QByteArray before = installedExecutable();
        QString error;
        EXPECT_EQ(place(request(zipOf(product(marker, version, build))), &error), expected)
            << "step " << i << ": " << error.toStdString();
        EXPECT_EQ(appsEntries(), QStringList{"Corvala.app"}) << "step " << i;
        if (expected == Placed) {
            EXPECT_TRUE(installedExecutable().endsWith(marker)) << "step " << i;
        } else {
            EXPECT_EQ(installedExecutable(), before) << "step " << i << ": the installed bundle stays whole";
            EXPECT_TRUE(error.contains(version.isEmpty() ? "none" : version)) << error.toStdString();
        }
    }
}

// Only what the installer placed goes, whole; everything else is named and left as it was.
TEST_F(BundlePlacementTest, RemovalTakesOnlyTheProductAndItsMarkedEntry)
{
    using Outcome = archives::RemovalReport::Outcome;
    const QByteArray product = "com.brightmoor.corvala";
    settings.productBundleIdentifier = product;
    const struct {
        const char *what;
        std::function<void()> setUp;
        Outcome expected;
        QStringList appsAfter;
        QStringList menuAfter;
        const char *keptReason = "";
    } cases[] = {
        {"the product and its entry", [&] { makeBundle(product); }, Outcome::Removed, {}, {}},
        {"read-only files of root's", [&] { makeBundle(product, true, true); }, Outcome::Removed, {}, {}},
        {"another identifier", [&] { makeBundle("com.example.other"); }, Outcome::Refused, {"Corvala.app"}, {"Corvala.desktop"},
         "com.example.other"},
        {"a link in the bundle's place", [&] { QFile::link(apps + "/Other.app", apps + "/Corvala.app"); },
         Outcome::Refused, {"Corvala.app"}, {}, "link"},
        {"an entry the installer did not write", [&] {
             makeBundle(product, false);
             writeTo(settings.menuFolder + "/Corvala.desktop", "[Desktop Entry]\nType=Application\nName=Mine\nExec=mine\n");
         }, Outcome::Removed, {}, {"Corvala.desktop"}, "not a menu entry this installer wrote"},
        {"no product identifier configured", [&] { makeBundle(product); settings.productBundleIdentifier.clear(); },
         Outcome::Refused, {"Corvala.app"}, {"Corvala.desktop"}, "kQSProductBundleIdentifier"},
        {"nothing there, but what a killed removal moved aside", [&] {
             QDir().mkpath(apps + "/.Corvala.app.removing-a1B2c3/Contents");
         }, Outcome::NothingToRemove, {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(QDir(apps).removeRecursively() && QDir(settings.menuFolder).removeRecursively());
        ASSERT_TRUE(QDir().mkpath(apps + "/Other.app/Contents") && QDir().mkpath(settings.menuFolder));
        writeTo(settings.menuFolder + "/Other.desktop", "[Desktop Entry]\n");
        settings.productBundleIdentifier = product;
        c.setUp();
        const archives::RemovalReport report = archives::BundleRemoval(settings).run();
        EXPECT_EQ(report.outcome, c.expected) << report.error.toStdString();
        EXPECT_EQ(appsEntries(), c.appsAfter + QStringList{"Other.app"});
        EXPECT_EQ(menuEntries(), c.menuAfter + QStringList{"Other.desktop"});
        EXPECT_EQ(report.kept.isEmpty(), QByteArray(c.keptReason).isEmpty());
        for (const auto &kept : report.kept)
            EXPECT_TRUE(kept.reason.contains(c.keptReason)) << kept.reason.toStdString();
    }
}

// SIGKILL at any moment of a removal leaves the bundle whole or gone from its name, never half of
// it there; the next removal deletes what the killed one moved aside.
TEST_F(BundlePlacementTest, ARemovalKilledHalfWayIsFinishedByTheNext)
{
    settings.productBundleIdentifier = "com.brightmoor.corvala";
    makeBundle("com.brightmoor.corvala");
    for (int i = 0; i < 4000; ++i)
        writeTo(QStringLiteral("%1/Corvala.app/Contents/Resources/f%2").arg(apps).arg(i), "x");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(int(archives::BundleRemoval(settings).run().outcome));
    // Killed as soon as the bundle has left its name: between the rename and the end of the delete.
    while (QFileInfo::exists(apps + "/Corvala.app") && ::waitpid(child, nullptr, WNOHANG) == 0)
        ;
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const QStringList left = appsEntries();
    ASSERT_FALSE(left.contains("Corvala.app"));
    EXPECT_TRUE(left.isEmpty() || (left.size() == 1 && left.first().startsWith(".Corvala.app.removing-")))
        << left.join(' ').toStdString();
    const archives::RemovalReport next = archives::BundleRemoval(settings).run();
    EXPECT_EQ(appsEntries(), QStringList{});
    EXPECT_TRUE(menuEntries().isEmpty());
    EXPECT_NE(next.outcome, archives::RemovalReport::Outcome::Failed) << next.error.toStdString();
}

// A running product is seen (the window asks the person to quit it) and is still removed whole:
// on Linux its files go while it runs.
TEST_F(BundlePlacementTest, ARunningProductIsSeenAndStillRemoved)
{
    settings.productBundleIdentifier = "com.brightmoor.corvala";
    const QString bundle = makeBundle("com.brightmoor.corvala");
    ASSERT_TRUE(QFile::remove(bundle + "/Contents/MacOS/Corvala") && QFile::copy("/bin/sleep", bundle + "/Contents/MacOS/Corvala"));
    QProcess product;
    product.start(bundle + "/Contents/MacOS/Corvala", {"30"});
    ASSERT_TRUE(product.waitForStarted());
    EXPECT_EQ(platform::RunningPrograms::inFolder(bundle), QList<pid_t>{pid_t(product.processId())});
    EXPECT_TRUE(platform::RunningPrograms::inFolder(apps + "/Other.app").isEmpty());
    EXPECT_EQ(archives::BundleRemoval(settings).run().outcome, archives::RemovalReport::Outcome::Removed);
    EXPECT_TRUE(appsEntries().isEmpty());
    product.kill();
    product.waitForFinished();
}

// Root's lock on a bundle: held in a folder no one else can reach, never waited on for ever, and
// held from the version check to the swap, so that two placements at once never roll back.
TEST_F(BundlePlacementTest, PlacementsTakeTheBundlesRootOnlyLockAndNothingElse)
{
    using namespace std::chrono_literals;
    const QString target = apps + "/Corvala.app", locks = dir.filePath("locks");
    QDir().mkpath(apps);
    {
        const platform::PlacementLock held(locks, target, 1s);
        ASSERT_TRUE(held.isHeld()) << held.errorString().toStdString();
        const platform::PlacementLock second(locks, apps + "/../Applications/Corvala.app", 100ms);
        EXPECT_FALSE(second.isHeld());
        EXPECT_TRUE(second.errorString().contains("still runs after")) << second.errorString().toStdString();
        EXPECT_TRUE(platform::PlacementLock(locks, apps + "/Other.app", 0ms).isHeld());
    }
    EXPECT_EQ(QDir(locks).entryList(QDir::Files | QDir::Hidden), QStringList());  // nothing left
    ::chmod(QFile::encodeName(locks).constData(), 0770);
    EXPECT_TRUE(platform::PlacementLock(locks, target, 0ms).errorString().contains("open to other accounts"));

    // Anyone may open the applications folder and hold a lock on it: no placement waits for that.
    const int open = ::open(QFile::encodeName(apps).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(open, LOCK_SH), 0);
    EXPECT_EQ(place(request(zipOf(product("1.0", "1.0")))), Placed);
    ::close(open);

    // 2.0 over 1.0 waits at the lock, extracted and checked, while 3.0 is placed (here by hand,
    // under the lock): it checks again once it holds the lock, and 3.0 stays.
    std::optional<platform::PlacementLock> hold(std::in_place, target);
    std::atomic<bool> waiting = false;
    Status older = Placed;
    std::thread second([&, input = request(zipOf(product("2.0", "2.0")))] {
        older = place(input, nullptr, [&](const QByteArray &line) { waiting = waiting || line.startsWith(kStagingPrefix); });
    });
    for (int waited = 0; !waiting && waited < 3000; ++waited)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(waiting) << "2.0 never came to its version check";
    std::this_thread::sleep_for(200ms);
    QFile info(target + "/Contents/Info.plist"), executable(target + "/Contents/MacOS/Corvala");
    ASSERT_TRUE(info.open(QIODevice::WriteOnly) && info.write(infoWith("3.0", "")) > 0 && executable.open(QIODevice::Append));
    executable.write("3.0");
    info.close(), executable.close();
    hold.reset();
    second.join();
    EXPECT_EQ(older, OlderVersion);
    EXPECT_TRUE(installedExecutable().endsWith("3.0"));
}

// Little room left: the free margin (64 MiB) stays free on the applications folder's file system.
TEST_F(BundlePlacementTest, ThePlacementKeepsTheFreeMargin)
{
    // A file system of 80 MiB of its own, mounted in a namespace that goes with this thread.
    ASSERT_EQ(::unshare(CLONE_NEWNS), 0);
    ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    ASSERT_TRUE(QDir().mkpath(apps));
    ASSERT_EQ(::mount("tmpfs", QFile::encodeName(apps).constData(), "tmpfs", 0, "size=80m"), 0);
    QByteArray noise(12 << 20, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    QString error;
    EXPECT_EQ(place(request(zipOf(product("small"))), &error), Placed) << error.toStdString();
    EXPECT_EQ(place(request(zipOf(product("big") << Entry{"Corvala.app/noise", noise})), &error), ExtractFailed);
    EXPECT_TRUE(error.contains("not enough space")) << error.toStdString();
    EXPECT_TRUE(installedExecutable().endsWith("small"));
    EXPECT_EQ(appsEntries(), QStringList{"Corvala.app"});
    ::umount2(QFile::encodeName(apps).constData(), MNT_DETACH);
}
