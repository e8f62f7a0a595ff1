// What extraction writes from honest archives, and what it refuses from hostile ones.
#include "TestZip.h"
#include "archive/ZipExtractor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <archive_entry.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using Entry = TestZipEntry;

Entry regular(const QString &path, const QByteArray &data, int perm = 0644) { return {path, data, {}, perm, AE_IFREG}; }
Entry folder(const QString &path, int perm = 0755) { return {path, {}, {}, perm, AE_IFDIR}; }
Entry linkEntry(const QString &path, const QString &target) { return {path, {}, target}; }

QString writeZip(const QTemporaryDir &dir, const QByteArray &bytes, const QString &name = QStringLiteral("a.zip"))
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << file.fileName().toStdString();
    return file.fileName();
}

mode_t modeOf(const QString &path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
}

const QList<Entry> kProduct = {
    folder("Corvala.app/"),
    regular("Corvala.app/Contents/Info.plist", "<plist/>"),
    regular("Corvala.app/Contents/MacOS/Corvala", "#!/bin/sh\necho hi\n", 0755),
    linkEntry("Corvala.app/Contents/Resources/current", "../MacOS/Corvala"),
};

}  // namespace

// Archives made from inside the bundle's folder name that folder "./": the destination keeps its
// own mode. Files and folders end without group or other write and without special bits, even
// under a strict umask; folders keep their time although files were written into them afterwards.
TEST(ZipExtractor, ExtractsTheTreeWithItsTimesAndLinksAndNormalisedModes)
{
    constexpr time_t kMay2021 = 1620123456;
    QList<Entry> entries = {folder("./")};
    for (Entry entry : kProduct) {
        entry.modified = kMay2021;
        entries.append(entry);
    }
    const QList<std::pair<int, mode_t>> modes = {{0777, 0755}, {04755, 0755}, {01777, 0755}, {0666, 0644}, {0100, 0755}, {0000, 0644}};
    entries += {folder("top/", 0777), folder("sticky/", 01777), regular("implicit/folder/file", "x")};
    for (const auto &[archived, expected] : modes)
        entries.append(regular(QStringLiteral("top/f%1").arg(archived, 0, 8), "x", archived));
    QTemporaryDir dir;
    const QString zip = writeZip(dir, testZipBytes(entries)), out = dir.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out) && ::chmod(QFile::encodeName(out).constData(), 0700) == 0);
    archives::ZipExtractor extractor;
    const mode_t umaskBefore = ::umask(077);
    const bool extracted = extractor.extract(zip, out);
    ::umask(umaskBefore);
    ASSERT_TRUE(extracted) << extractor.errorString().toStdString();

    QFile script(out + "/Corvala.app/Contents/MacOS/Corvala");
    EXPECT_TRUE(script.open(QIODevice::ReadOnly) && script.readAll() == "#!/bin/sh\necho hi\n");
    EXPECT_TRUE(QFileInfo(out + "/Corvala.app/Contents/Resources/current").isSymLink());
    for (const char *name : {"Corvala.app", "Corvala.app/Contents/MacOS/Corvala", "Corvala.app/Contents/Resources/current"}) {
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(out + "/" + name).constData(), &info), 0) << name;
        EXPECT_EQ(info.st_mtime, kMay2021) << name;
    }
    EXPECT_EQ(modeOf(out), 0700u);
    EXPECT_EQ(modeOf(out + "/Corvala.app/Contents/MacOS/Corvala"), 0755u);
    for (const auto &[archived, expected] : modes)
        EXPECT_EQ(modeOf(out + QStringLiteral("/top/f%1").arg(archived, 0, 8)), expected) << std::oct << archived;
    for (const char *name : {"top", "sticky", "implicit", "implicit/folder"})
        EXPECT_EQ(modeOf(out + "/" + name), 0755u) << name;
}

// Links the archive made itself are never followed while writing, wherever they lead; they are
// judged where they really lead, through other links too; what is there is never replaced.
TEST(ZipExtractor, RefusesEntriesThatEscapeFollowLinksOrOverwrite)
{
    const QString longFolders = QStringList(21, QString(200, QLatin1Char('f'))).join('/');
    const struct {
        const char *what;
        QList<Entry> entries;
        bool accepted = false;
        bool keepsF = false;  // "f" was written first and must stay as it was
    } cases[] = {
        {"parent path", {regular("../evil.txt", "x")}},
        {"absolute path", {regular("/tmp/tiny-installer-test-evil.txt", "x")}},
        {"link leaving", {linkEntry("a/escape", "../../..")}},
        {"absolute link", {linkEntry("passwd", "/etc/passwd")}},
        {"fifo", {{"pipe", {}, {}, 0644, AE_IFIFO}}},
        {"too deep", {regular(QString("a/").repeated(200) + "evil.txt", "x")}},
        {"a file under a link to its own folder", {folder("a/"), linkEntry("a/self", "."), regular("a/self/x", "x")}},
        {"a folder under a link", {linkEntry("d", "."), folder("d/sub/")}},
        {"a file under a link that climbs through another", {linkEntry("d", "."), linkEntry("up", "d/.."), regular("up/evil.txt", "x")}},
        {"a file under a file", {regular("f", "one"), regular("f/x", "x")}, false, true},
        {"the same file twice", {regular("f", "one"), regular("f", "two")}, false, true},
        {"a link over a file", {regular("f", "one"), linkEntry("f", "g")}, false, true},
        {"chain through a link to its own folder", {linkEntry("d", "."), linkEntry("esc", "d/d/d/../../etc/hostname")}},
        {"chain defined after its use", {linkEntry("esc", "d/d/../../etc"), linkEntry("d", ".")}},
        {"link to a link that climbs", {folder("a/"), linkEntry("a/up", ".."), linkEntry("a/out", "up/../x")}},
        {"loop", {linkEntry("x", "y"), linkEntry("y", "x")}},
        // Paths longer than the system lets anyone look up: the check could not follow them.
        {"chain below folders with long names",
         {linkEntry(longFolders + "/d", "."), linkEntry(longFolders + "/esc", "d/d/d/" + QString("../").repeated(24) + "etc/passwd")}},
        {"link whose own name climbs back with dots",
         {linkEntry(QString("./").repeated(40) + longFolders + "/esc", QString("../").repeated(61) + "etc/passwd")}},
        {"chain that stays inside", {linkEntry("d", "."), folder("a/"), linkEntry("a/in", "../d/d/a")}, true},
        {"link to a missing name inside", {linkEntry("later", "nowhere/yet")}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString zip = writeZip(dir, testZipBytes(c.entries)), out = dir.filePath("sub/out");
        archives::ZipExtractor extractor;
        EXPECT_EQ(extractor.extract(zip, out), c.accepted) << extractor.errorString().toStdString();
        EXPECT_EQ(extractor.errorString().isEmpty(), c.accepted);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({"a.zip", "sub"}));
        EXPECT_EQ(QDir(dir.filePath("sub")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({"out"}));
        EXPECT_FALSE(QFile::exists(out + "/a/x") || QFile::exists(out + "/sub"));
        if (c.keepsF) {
            QFile kept(out + "/f");
            EXPECT_FALSE(QFileInfo(kept.fileName()).isSymLink());
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), QByteArray("one"));
        }
    }
    EXPECT_FALSE(QFile::exists("/tmp/tiny-installer-test-evil.txt"));
}

TEST(ZipExtractor, PathAndLinkRules)
{
    using archives::ZipExtractor;
    const std::pair<const char *, bool> paths[] = {{"a/b/c.txt", true}, {"a/..b/c", true}, {"", false},
                                                   {"..", false},       {"a/../../b", false}, {"a\\..\\b", false}};
    for (const auto &[path, safe] : paths)
        EXPECT_EQ(ZipExtractor::isSafeRelativePath(path), safe) << path;
    const std::tuple<const char *, const char *, bool> links[] = {
        {"a/b/link", "../c", true}, {"a/link", "..", true}, {"a/link", "../..", false},
        {"link", "/etc", false},    {"link", "", false},    {"./././link", "../x", false}};
    for (const auto &[link, target, inside] : links)
        EXPECT_EQ(ZipExtractor::linkStaysInside(link, target), inside) << link << " -> " << target;
}

// Bombs are refused with nothing past the bounds written (streamed bodies are in
// tests/integration/engine); the honest ones are measured before anything is written.
TEST(ZipExtractor, BrokenOversizedAndBombArchivesFailWithTheirReason)
{
    const QByteArray zeros(40 << 20, '\0');
    QList<Entry> crowd;
    for (quint64 i = 0; i <= archives::limits::kMaxEntries; ++i)
        crowd.append(regular(QStringLiteral("f%1").arg(i), {}));
    const QByteArray whole = testZipBytes({regular("big.bin", QByteArray(200000, 'a'))});
    const struct {
        const char *what;
        QByteArray archive;
        const char *reason;
        bool upfront = false;
        qint64 spaceLimit = 0;
    } cases[] = {
        {"not an archive", "this is not a zip archive", ""},
        {"truncated", whole.left(whole.size() / 3), ""},
        {"too big for the space", testZipBytes({regular("big.bin", QByteArray(100000, 'b'))}), "not enough space", false, 50000},
        {"lying sizes", lyingDeflateZipBytes("Corvala.app/bomb", zeros.left(2 << 20), 1000), "inflates past its declared"},
        {"honest sizes, a thousand times the archive", lyingDeflateZipBytes("Corvala.app/bomb", zeros, 40 << 20),
         "inflates to more than", true},
        {"more entries than the bound", testZipBytes(crowd), "entries", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString archive = writeZip(dir, c.archive), out = dir.filePath("out");
        archives::ZipExtractor extractor;
        if (c.spaceLimit)
            extractor.setSpaceLimit(c.spaceLimit);
        EXPECT_FALSE(extractor.extract(archive, out));
        EXPECT_FALSE(extractor.errorString().isEmpty());
        EXPECT_TRUE(extractor.errorString().contains(c.reason)) << extractor.errorString().toStdString();
        EXPECT_LE(QFileInfo(out + "/Corvala.app/bomb").size(), 1000);
        EXPECT_TRUE(!c.upfront || QDir(out).isEmpty());
    }
    // At exactly the bound an archive extracts, one entry more is refused, streamed or finished.
    for (const quint64 bound : {quint64(3), quint64(4)}) {
        const QByteArray bytes = testZipBytes(crowd.mid(0, 4));
        for (const bool streamed : {true, false}) {
            QTemporaryDir dir;
            archives::ZipExtractor extractor;
            extractor.setMaxEntries(bound);
            bool given = false;
            const bool extracted = streamed ? extractor.extractStream([&](const char **data) {
                *data = bytes.constData();
                return std::exchange(given, true) ? qint64(0) : qint64(bytes.size());
            }, dir.filePath("out")) : extractor.extract(writeZip(dir, bytes), dir.filePath("out"));
            EXPECT_EQ(extracted, bound == 4) << bound << (streamed ? " streamed: " : ": ") << extractor.errorString().toStdString();
        }
    }
}
