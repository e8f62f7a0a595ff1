#include "EngineTestSupport.h"

#include "engine/QSInstallFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

namespace {

void writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(data);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A bundle folder with a marker file, an executable and a link inside.
void makeBundle(const QString &path, const QByteArray &marker)
{
    writeFile(path + "/Contents/Info.plist", marker);
    writeFile(path + "/Contents/MacOS/corvala", "#!/bin/sh\n");
    QFile::setPermissions(path + "/Contents/MacOS/corvala", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::link("MacOS/corvala", path + "/Contents/current");
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

}  // namespace

TEST(InstallFiles, RemovePathRemovesWhatIsThereButNeverFollowsALink)
{
    QTemporaryDir dir;
    const QString keep = dir.filePath("keep");
    writeFile(keep + "/precious", "data");
    const QList<std::pair<const char *, std::function<void(const QString &)>>> cases = {
        {"file", [](const QString &p) { writeFile(p, "x"); }},
        {"folder tree", [](const QString &p) { writeFile(p + "/a/b/c", "x"); }},
        {"link to a folder", [&](const QString &p) { QFile::link(keep, p); }},
        {"dangling link", [](const QString &p) { QFile::link("/nonexistent/target", p); }},
        {"folder holding a link out", [&](const QString &p) { QDir().mkpath(p); QFile::link(keep, p + "/out"); }},
        {"nothing", [](const QString &) {}},
    };
    for (const auto &[what, make] : cases) {
        SCOPED_TRACE(what);
        const QString path = dir.filePath("victim");
        make(path);
        EXPECT_TRUE(QSInstallFiles::removePath(path));
        EXPECT_FALSE(QFileInfo(path).exists() || QFileInfo(path).isSymLink());
        EXPECT_EQ(readFile(keep + "/precious"), "data");
    }
}

TEST(InstallFiles, PlaceBundleReplacesAnExistingBundleAsAWholeNeverNestingIntoIt)
{
    QTemporaryDir dir;
    makeBundle(dir.filePath("unzip/Corvala.app"), "new");
    const QString target = dir.filePath("Applications/Corvala.app");
    makeBundle(target, "old");
    writeFile(target + "/Contents/only-in-old", "stale");
    writeFile(dir.filePath("Applications/Other.app/keep"), "other");

    QString error;
    ASSERT_TRUE(QSInstallFiles::placeBundle(dir.filePath("unzip/Corvala.app"), target, &error)) << error.toStdString();
    EXPECT_EQ(readFile(target + "/Contents/Info.plist"), "new");
    EXPECT_TRUE(QFileInfo(target + "/Contents/MacOS/corvala").isExecutable());
    EXPECT_TRUE(QFileInfo(target + "/Contents/current").isSymLink());
    EXPECT_FALSE(QFileInfo::exists(target + "/Contents/only-in-old"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("unzip/Corvala.app")));
    EXPECT_EQ(readFile(dir.filePath("Applications/Other.app/keep")), "other");
    // Nothing nested, nothing left under a hidden working name.
    EXPECT_EQ(entriesOf(target), QStringList({"Contents"}));
    EXPECT_EQ(entriesOf(dir.filePath("Applications")), QStringList({"Corvala.app", "Other.app"}));
}

TEST(InstallFiles, PlaceBundleRefusesWhatIsNotABundleFolderAndLeavesTheTargetAlone)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("Applications/Corvala.app");
    makeBundle(target, "old");
    makeBundle(dir.filePath("elsewhere/Real.app"), "decoy");
    makeBundle(dir.filePath("unzip/Good.app"), "new");
    writeFile(dir.filePath("unzip/File.app"), "not a folder");
    QFile::link(dir.filePath("elsewhere/Real.app"), dir.filePath("unzip/Link.app"));
    writeFile(dir.filePath("blocker"), "a file where a folder should be");

    const QList<std::pair<QString, QString>> cases = {
        {"unzip/Missing.app", target},
        {"unzip/File.app", target},
        {"unzip/Link.app", target},
        {"unzip/Good.app", dir.filePath("blocker/Apps/Corvala.app")},
    };
    for (const auto &[source, destination] : cases) {
        SCOPED_TRACE(source.toStdString());
        QString error;
        EXPECT_FALSE(QSInstallFiles::placeBundle(dir.filePath(source), destination, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(readFile(target + "/Contents/Info.plist"), "old");
    EXPECT_EQ(entriesOf(dir.filePath("Applications")), QStringList({"Corvala.app"}));
    EXPECT_EQ(readFile(dir.filePath("elsewhere/Real.app/Contents/Info.plist")), "decoy");
    EXPECT_EQ(readFile(dir.filePath("unzip/Good.app/Contents/Info.plist")), "new");
}

TEST(InstallFiles, PlaceBundleCopiesAcrossFileSystems)
{
    // /dev/shm is a tmpfs on Linux; the scratch folder usually lies on another file system.
    QTemporaryDir other(QStringLiteral("/dev/shm/engine-test-XXXXXX"));
    QTemporaryDir dir;
    struct stat a {}, b {};
    if (!other.isValid() || ::stat(QFile::encodeName(other.path()).constData(), &a) != 0 ||
        ::stat(QFile::encodeName(dir.path()).constData(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system here";

    makeBundle(other.filePath("unzip/Corvala.app"), "new");
    const QString target = dir.filePath("Applications/Corvala.app");
    makeBundle(target, "old");
    QString error;
    ASSERT_TRUE(QSInstallFiles::placeBundle(other.filePath("unzip/Corvala.app"), target, &error)) << error.toStdString();
    EXPECT_EQ(readFile(target + "/Contents/Info.plist"), "new");
    EXPECT_TRUE(QFileInfo(target + "/Contents/MacOS/corvala").isExecutable());
    // The link is copied as a link, its text unchanged.
    EXPECT_EQ(std::filesystem::read_symlink(QFile::encodeName(target + "/Contents/current").toStdString()),
              std::filesystem::path("MacOS/corvala"));
    EXPECT_FALSE(QFileInfo::exists(other.filePath("unzip/Corvala.app")));
    EXPECT_EQ(entriesOf(dir.filePath("Applications")), QStringList({"Corvala.app"}));
}
