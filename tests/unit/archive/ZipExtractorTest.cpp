#include "TestZip.h"
#include "archive/ZipExtractor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <atomic>
#include <thread>
#include <utility>

namespace {

using Entry = TestZipEntry;

Entry regular(const QString &path, const QByteArray &data, int perm = 0644) { return {path, data, AE_IFREG, perm, {}}; }
Entry folder(const QString &path) { return {path, {}, AE_IFDIR, 0755, {}}; }
Entry linkEntry(const QString &path, const QString &target) { return {path, {}, AE_IFLNK, 0777, target}; }
Entry special(const QString &path, mode_t type) { return {path, {}, type, 0644, {}}; }

QString makeZip(const QTemporaryDir &dir, const QString &name, const QList<Entry> &entries)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(testZipBytes(entries)) < 0)
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

const QList<Entry> kProduct = {
    folder("Corvala.app/"),
    regular("Corvala.app/Contents/Info.plist", "<plist/>"),
    regular("Corvala.app/Contents/MacOS/Corvala", "#!/bin/sh\necho hi\n", 0755),
    linkEntry("Corvala.app/Contents/Resources/current", "../MacOS/Corvala"),
};

}  // namespace

TEST(ZipExtractor, ExtractsFilesFoldersModesTimesAndInsideLinks)
{
    QTemporaryDir dir;
    constexpr time_t kMay2021 = 1620123456;
    QList<Entry> entries = kProduct;
    for (Entry &entry : entries)
        entry.modified = kMay2021;
    const QString zip = makeZip(dir, "ok.zip", entries);
    archives::ZipExtractor extractor;
    const QString out = dir.filePath("out");
    ASSERT_TRUE(extractor.extract(zip, out)) << extractor.errorString().toStdString();
    const QFileInfo exe(out + "/Corvala.app/Contents/MacOS/Corvala");
    EXPECT_TRUE(exe.isExecutable());
    QFile script(exe.filePath());
    ASSERT_TRUE(script.open(QIODevice::ReadOnly));
    EXPECT_EQ(script.readAll(), QByteArray("#!/bin/sh\necho hi\n"));
    EXPECT_TRUE(QFileInfo(out + "/Corvala.app/Contents/Resources/current").isSymLink());
    // Folders keep their time although files were written into them afterwards.
    for (const char *name : {"Corvala.app", "Corvala.app/Contents/MacOS/Corvala", "Corvala.app/Contents/Resources/current"}) {
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(out + "/" + name).constData(), &info), 0) << name;
        EXPECT_EQ(info.st_mtime, kMay2021) << name;
    }
}

TEST(ZipExtractor, RefusesHostileEntriesAndWritesNothingOutside)
{
    struct Case {
        const char *what;
        QList<Entry> entries;
    };
    const QList<Case> cases = {
        {"parent path", {regular("../evil.txt", "x")}},
        {"nested parent", {regular("a/../../evil.txt", "x")}},
        {"absolute path", {regular("/tmp/tiny-installer-test-evil.txt", "x")}},
        {"link leaving", {linkEntry("a/escape", "../../..")}},
        {"absolute link", {linkEntry("passwd", "/etc/passwd")}},
        {"fifo", {special("pipe", AE_IFIFO)}},
        {"too deep", {regular(QString("a/").repeated(200) + "evil.txt", "x")}},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        const QString zip = makeZip(dir, "bad.zip", c.entries);
        archives::ZipExtractor extractor;
        EXPECT_FALSE(extractor.extract(zip, dir.filePath("sub/out"))) << c.what;
        EXPECT_FALSE(extractor.errorString().isEmpty()) << c.what;
        EXPECT_FALSE(QFile::exists(dir.filePath("sub/evil.txt"))) << c.what;
        EXPECT_FALSE(QFile::exists(dir.filePath("evil.txt"))) << c.what;
    }
    EXPECT_FALSE(QFile::exists("/tmp/tiny-installer-test-evil.txt"));
}

// Archives made from inside the bundle's folder (`bsdtar -cf app.zip .`) name that folder "./".
TEST(ZipExtractor, AnEntryForTheTopFolderItselfLeavesItAsItIs)
{
    QTemporaryDir dir;
    const QString zip = makeZip(dir, "dot.zip", {folder("./"), folder("./Corvala.app/"),
                                                 regular("./Corvala.app/Contents/MacOS/Corvala", "#!/bin/sh\n", 0755)});
    archives::ZipExtractor extractor;
    const QString out = dir.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out));
    ASSERT_TRUE(QFile::setPermissions(out, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    ASSERT_TRUE(extractor.extract(zip, out)) << extractor.errorString().toStdString();
    EXPECT_TRUE(QFileInfo(out + "/Corvala.app/Contents/MacOS/Corvala").isExecutable());
    EXPECT_EQ(QFileInfo(out).permissions() & (QFileDevice::ReadOther | QFileDevice::ExeOther), QFileDevice::Permissions());
}

// Links the archive made itself are never followed while writing, wherever they lead, and what
// is already there is never replaced.
TEST(ZipExtractor, NeverWritesThroughALinkAndNeverOverwrites)
{
    struct Case {
        const char *what;
        QList<Entry> entries;
        const char *kept;  // what the first entries left, which must stay as it was
    };
    const QList<Case> cases = {
        {"a file under a link to its own folder", {folder("a/"), linkEntry("a/self", "."), regular("a/self/x", "x")}, nullptr},
        {"a folder under a link", {linkEntry("d", "."), folder("d/sub/")}, nullptr},
        {"a file under a link that climbs through another",
         {linkEntry("d", "."), linkEntry("up", "d/.."), regular("up/evil.txt", "x")}, nullptr},
        {"a file under a file", {regular("f", "one"), regular("f/x", "x")}, "f"},
        {"the same file twice", {regular("f", "one"), regular("f", "two")}, "f"},
        {"a link over a file", {regular("f", "one"), linkEntry("f", "g")}, "f"},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        const QString zip = makeZip(dir, "bad.zip", c.entries);
        archives::ZipExtractor extractor;
        const QString out = dir.filePath("sub/out");
        EXPECT_FALSE(extractor.extract(zip, out)) << c.what;
        EXPECT_FALSE(extractor.errorString().isEmpty()) << c.what;
        EXPECT_FALSE(QFile::exists(dir.filePath("sub/evil.txt"))) << c.what;
        EXPECT_FALSE(QFile::exists(out + "/a/x")) << c.what;
        EXPECT_FALSE(QFile::exists(out + "/sub")) << c.what;
        if (c.kept) {
            QFile kept(out + "/" + c.kept);
            EXPECT_FALSE(QFileInfo(kept.fileName()).isSymLink()) << c.what;
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << c.what;
            EXPECT_EQ(kept.readAll(), QByteArray("one")) << c.what;
        }
    }
}

TEST(ZipExtractor, BrokenTruncatedOrOversizedArchivesFail)
{
    QTemporaryDir dir;
    QFile garbage(dir.filePath("garbage.zip"));
    garbage.open(QIODevice::WriteOnly);
    garbage.write("this is not a zip archive");
    garbage.close();
    archives::ZipExtractor extractor;
    EXPECT_FALSE(extractor.extract(garbage.fileName(), dir.filePath("g")));

    const QString whole = makeZip(dir, "whole.zip", {regular("big.bin", QByteArray(200000, 'a'))});
    QFile file(whole);
    file.open(QIODevice::ReadWrite);
    file.resize(file.size() / 3);
    file.close();
    EXPECT_FALSE(extractor.extract(whole, dir.filePath("t")));

    const QString big = makeZip(dir, "big.zip", {regular("big.bin", QByteArray(100000, 'b'))});
    extractor.setSpaceLimit(50000);
    EXPECT_FALSE(extractor.extract(big, dir.filePath("s")));
    EXPECT_TRUE(extractor.errorString().contains("not enough space"));
}

TEST(ZipExtractor, BombsAreRefusedFromTheFileAndFromTheStreamWithNothingPastTheBoundsWritten)
{
    QTemporaryDir dir;
    const QByteArray zeros(40 << 20, '\0');
    QList<Entry> crowd;
    for (quint64 i = 0; i <= archives::limits::kMaxEntries; ++i)
        crowd.append(Entry{QStringLiteral("f%1").arg(i), {}, AE_IFREG, 0644, {}});
    const struct {
        const char *what;
        QByteArray archive;
        const char *reason;
        bool streamed;
    } cases[] = {
        {"lying sizes", lyingDeflateZipBytes("Corvala.app/bomb", zeros.left(2 << 20), 1000), "inflates past its declared", true},
        {"honest sizes, a thousand times the archive", lyingDeflateZipBytes("Corvala.app/bomb", zeros, 40 << 20),
         "inflates to more than", false},
        {"more entries than the bound", testZipBytes(crowd), "entries", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QString archive = dir.filePath("bomb.zip");
        QFile file(archive);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.archive);
        file.close();
        archives::ZipExtractor extractor;
        const QString fromFile = dir.filePath(QStringLiteral("from-file-%1").arg(c.reason));
        EXPECT_FALSE(extractor.extract(archive, fromFile));
        EXPECT_TRUE(extractor.errorString().contains(c.reason)) << extractor.errorString().toStdString();
        EXPECT_LE(QFileInfo(fromFile + "/Corvala.app/bomb").size(), 1000);
        EXPECT_TRUE(QDir(fromFile).isEmpty() || c.streamed) << "measured before anything is written";
        if (!c.streamed)
            continue;
        bool sent = false;
        const auto source = [&](const char **data) -> qint64 {
            *data = c.archive.constData();
            return std::exchange(sent, true) ? 0 : c.archive.size();
        };
        EXPECT_FALSE(extractor.extractStream(source, dir.filePath("streamed")));
        EXPECT_TRUE(extractor.errorString().contains(c.reason)) << extractor.errorString().toStdString();
        EXPECT_LE(QFileInfo(dir.filePath("streamed/Corvala.app/bomb")).size(), 1000);
    }
}

TEST(ZipExtractor, PathAndLinkRules)
{
    using archives::ZipExtractor;
    EXPECT_TRUE(ZipExtractor::isSafeRelativePath("a/b/c.txt"));
    EXPECT_TRUE(ZipExtractor::isSafeRelativePath("a/..b/c"));
    EXPECT_FALSE(ZipExtractor::isSafeRelativePath(""));
    EXPECT_FALSE(ZipExtractor::isSafeRelativePath("a/../../b"));
    EXPECT_FALSE(ZipExtractor::isSafeRelativePath("a\\..\\b"));
    EXPECT_TRUE(ZipExtractor::linkStaysInside("a/b/link", "../c"));
    EXPECT_TRUE(ZipExtractor::linkStaysInside("a/link", ".."));
    EXPECT_FALSE(ZipExtractor::linkStaysInside("a/link", "../.."));
    EXPECT_FALSE(ZipExtractor::linkStaysInside("link", "/etc"));
    EXPECT_FALSE(ZipExtractor::linkStaysInside("link", ""));
    EXPECT_FALSE(ZipExtractor::linkStaysInside("./././link", "../x"));
}

TEST(ZipExtractor, ModesEndWithoutGroupOrOtherWriteAndWithoutSpecialBits)
{
    struct Case {
        int archived;
        mode_t expected;
    };
    const QList<Case> files = {{0777, 0755}, {02777, 0755}, {04755, 0755}, {01777, 0755}, {0666, 0644},
                               {0600, 0644}, {0100, 0755}, {0000, 0644}};
    QList<Entry> entries = {{"top/", {}, AE_IFDIR, 0777, {}}, {"sticky/", {}, AE_IFDIR, 01777, {}}};
    for (const Case &c : files)
        entries.append(regular(QStringLiteral("top/f%1").arg(c.archived, 0, 8), "x", c.archived));
    entries.append(regular("implicit/folder/file", "x", 0644));
    QTemporaryDir dir;
    const QString zip = makeZip(dir, "modes.zip", entries);
    archives::ZipExtractor extractor;
    const QString out = dir.filePath("out");
    // Under a strict umask as well: folders made on the way must not end up 0700.
    const mode_t umaskBefore = ::umask(077);
    const bool extracted = extractor.extract(zip, out);
    ::umask(umaskBefore);
    ASSERT_TRUE(extracted) << extractor.errorString().toStdString();
    const auto modeOf = [&out](const QString &name) {
        struct stat info {};
        EXPECT_EQ(::lstat(QFile::encodeName(out + "/" + name).constData(), &info), 0) << name.toStdString();
        return info.st_mode & 07777;
    };
    for (const Case &c : files)
        EXPECT_EQ(modeOf(QStringLiteral("top/f%1").arg(c.archived, 0, 8)), c.expected) << std::oct << c.archived;
    for (const char *folderName : {"top", "sticky", "implicit", "implicit/folder"})
        EXPECT_EQ(modeOf(folderName), 0755u) << folderName;
}

TEST(ZipExtractor, LinksAreCheckedWhereTheyReallyLead)
{
    const QString kLongFolders = QStringList(21, QString(200, QLatin1Char('f'))).join('/');
    struct Case {
        const char *what;
        QList<Entry> entries;
        bool accepted;
    };
    const QList<Case> cases = {
        {"chain through a link to its own folder",
         {linkEntry("d", "."), linkEntry("esc", "d/d/d/../../etc/hostname")}, false},
        {"chain defined after its use",
         {linkEntry("esc", "d/d/../../etc"), linkEntry("d", ".")}, false},
        {"link to a link that climbs", {folder("a/"), linkEntry("a/up", ".."), linkEntry("a/out", "up/../x")}, false},
        {"loop", {linkEntry("x", "y"), linkEntry("y", "x")}, false},
        {"chain that stays inside", {linkEntry("d", "."), folder("a/"), linkEntry("a/in", "../d/d/a")}, true},
        {"link to a missing name inside", {linkEntry("later", "nowhere/yet")}, true},
        // Paths longer than the system lets anyone look up: the check could not follow them.
        {"chain below folders with long names",
         {linkEntry(kLongFolders + "/d", "."),
          linkEntry(kLongFolders + "/esc", "d/d/d/" + QString("../").repeated(24) + "etc/passwd")}, false},
        {"link whose own name climbs back with dots",
         {linkEntry(QString("./").repeated(40) + kLongFolders + "/esc", QString("../").repeated(61) + "etc/passwd")}, false},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        const QString zip = makeZip(dir, "links.zip", c.entries);
        archives::ZipExtractor extractor;
        EXPECT_EQ(extractor.extract(zip, dir.filePath("out")), c.accepted)
            << c.what << ": " << extractor.errorString().toStdString();
    }
}

// A cancel request is honoured between blocks of one large entry, not only between entries:
// the flag flips while the first block is being written, and nothing more is written after it.
TEST(ZipExtractor, StopsAtTheNextBlockOnceCancelled)
{
    QTemporaryDir dir;
    const QByteArray big(12 << 20, 'z');  // 192 blocks, a few KiB once compressed (within the inflation bound)
    const QString zip = makeZip(dir, "big.zip", {regular("Corvala.app/big.bin", big), regular("Corvala.app/after", "x")});

    std::atomic<bool> cancelled{true};
    archives::ZipExtractor before;
    before.setCancelFlag(&cancelled);
    EXPECT_FALSE(before.extract(zip, dir.filePath("none")));
    EXPECT_TRUE(before.wasCancelled());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("none/Corvala.app")));

    // Not cancelled: the same archive extracts in full.
    cancelled = false;
    archives::ZipExtractor whole;
    whole.setCancelFlag(&cancelled);
    ASSERT_TRUE(whole.extract(zip, dir.filePath("whole")));
    EXPECT_FALSE(whole.wasCancelled());
    EXPECT_EQ(QFileInfo(dir.filePath("whole/Corvala.app/big.bin")).size(), big.size());

    // Cancelled once the big entry's file exists: it never gets whole and the next entry never
    // comes.
    cancelled = false;
    std::thread watcher([&] {
        const QDir folder(dir.filePath("part/Corvala.app"));
        while (folder.entryList(QDir::Files | QDir::Hidden).isEmpty())
            std::this_thread::yield();
        cancelled = true;
    });
    archives::ZipExtractor part;
    part.setCancelFlag(&cancelled);
    const bool ok = part.extract(zip, dir.filePath("part"));
    watcher.join();
    EXPECT_FALSE(ok);
    EXPECT_TRUE(part.wasCancelled());
    for (const QFileInfo &file : QDir(dir.filePath("part/Corvala.app")).entryInfoList(QDir::Files | QDir::Hidden)) {
        QFile written(file.filePath());
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_NE(written.readAll(), big) << "the whole entry was written after the cancel";
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("part/Corvala.app/after")));
}

// Extraction writes relative to its top folder: neither the process nor the extracting thread may
// be left in another working folder afterwards, whether the archive extracted or was refused
// half-way, and nothing may land in the folder the process works in.
TEST(ZipExtractor, LeavesEveryWorkingFolderWhereItWas)
{
    QTemporaryDir dir;
    const QString good = makeZip(dir, "good.zip", kProduct);
    const QString refused = makeZip(dir, "refused.zip", {folder("Corvala.app/"), regular("Corvala.app/a", "a"),
                                                         linkEntry("Corvala.app/out", "../../..")});
    const QString processFolder = dir.filePath("cwd");
    ASSERT_TRUE(QDir().mkpath(processFolder));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(processFolder));

    for (const auto &[zip, accepted] : {std::pair{good, true}, std::pair{refused, false}}) {
        QString threadAfter;
        bool extracted = !accepted;
        std::thread worker([&, zip = zip] {
            archives::ZipExtractor extractor;
            extracted = extractor.extract(zip, dir.filePath("out-" + QFileInfo(zip).baseName()));
            threadAfter = QDir::currentPath();
        });
        worker.join();
        EXPECT_EQ(extracted, accepted) << zip.toStdString();
        EXPECT_EQ(threadAfter, QDir(processFolder).canonicalPath());
        EXPECT_EQ(QDir::currentPath(), QDir(processFolder).canonicalPath());
        EXPECT_TRUE(QDir(processFolder).isEmpty());
    }
    EXPECT_TRUE(QFileInfo(dir.filePath("out-good/Corvala.app/Contents/MacOS/Corvala")).isExecutable());
    QDir::setCurrent(before);
}
