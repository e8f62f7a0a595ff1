// The menu entry of a placed product, checked with the desktop's own tools: desktop-file-validate
// reads it, and GLib's launcher (gio launch) starts what its Exec line names.

#include "platform/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using platform::DesktopEntry;

namespace {

// A bundle whose executable writes its own path into <marker>.
void makeBundle(const QString &bundle, const QString &infoEntries, const QString &marker)
{
    ASSERT_TRUE(QDir().mkpath(bundle + u"/Contents/MacOS"_s) && QDir().mkpath(bundle + u"/Contents/Resources"_s));
    QFile info(bundle + u"/Contents/Info.plist"_s);
    ASSERT_TRUE(info.open(QIODevice::WriteOnly));
    info.write((u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"_s + infoEntries
                + u"</dict></plist>\n"_s).toUtf8());
    QFile executable(bundle + u"/Contents/MacOS/Corvala"_s);
    ASSERT_TRUE(executable.open(QIODevice::WriteOnly));
    // Written aside, then renamed: the test waits for the marker's name and must never read it half
    // written.
    executable.write(u"#!/bin/sh\nprintf '%s' \"$0\" > '%1.part' && mv '%1.part' '%1'\n"_s.arg(marker).toUtf8());
    executable.setPermissions(executable.permissions() | QFile::ExeOwner);
}

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace

TEST(DesktopEntry, ValidEntriesThatStartThePlacedProductWhateverItsPath)
{
    if (QStandardPaths::findExecutable(u"desktop-file-validate"_s).isEmpty() || QStandardPaths::findExecutable(u"gio"_s).isEmpty())
        GTEST_SKIP() << "desktop-file-validate and gio are needed";
    QTemporaryDir dir;
    const QString marker = dir.filePath(u"started"_s);
    const QString plain = u"<key>CFBundleName</key><string>Corvala</string><key>CFBundleExecutable</key><string>Corvala</string>"
                          "<key>CFBundleIconFile</key><string>Corvala.icns</string>"_s;
    const struct {
        const char *name;
        QString folder;  // under the scratch folder; the bundle inside it
        QString bundle;
        QString info;
        const char *iconFile;  // made in Contents/Resources; nullptr: none
        QString expectedName;
        QString expectedFile;
        bool iconExpected;
    } rows[] = {
        {"plain", u"opt"_s, u"Corvala.app"_s, plain, "Corvala.png", u"Corvala"_s, u"Corvala.desktop"_s, true},
        // ("%" too is quoted, as "%%", but GLib looks for the program before it undoes that.)
        {"characters the Exec line quotes", u"a b/$HOME \"q\" `x` back\\slash ü"_s, u"Corvala Beta.app"_s, plain,
         "Corvala.svg", u"Corvala"_s, u"Corvala_Beta.desktop"_s, true},
        {"no name, no icon: the setting's name", u"opt2"_s, u"Corvala.app"_s,
         u"<key>CFBundleExecutable</key><string>Corvala</string><key>CFBundleIconFile</key><string>Missing</string>"_s, nullptr,
         u"Corvala Setting"_s, u"Corvala.desktop"_s, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const QString bundle = dir.filePath(row.folder) + u'/' + row.bundle;
        makeBundle(bundle, row.info, marker);
        if (row.iconFile)
            QFile(bundle + u"/Contents/Resources/"_s + QString::fromLatin1(row.iconFile)).open(QIODevice::WriteOnly);
        const QString menu = dir.filePath(u"menu-"_s + QString::number(&row - rows));
        QString error;
        ASSERT_TRUE(DesktopEntry::update(bundle, u"Corvala Setting"_s, menu, &error)) << error.toStdString();
        const QString entry = menu + u'/' + row.expectedFile;
        const QString text = readAll(entry);
        EXPECT_TRUE(text.contains(u"\nName="_s + row.expectedName + u'\n')) << text.toStdString();
        const QString escapedBundle = QString(bundle).replace(u"\\"_s, u"\\\\"_s);  // a string value's escapes
        EXPECT_EQ(text.contains(u"\nIcon="_s + escapedBundle + u"/Contents/Resources/"_s), row.iconExpected) << text.toStdString();

        QProcess validate;
        validate.start(u"desktop-file-validate"_s, {entry});
        ASSERT_TRUE(validate.waitForFinished(10000));
        EXPECT_EQ(validate.exitCode(), 0) << validate.readAll().toStdString();
        EXPECT_EQ(validate.readAll(), QByteArray()) << "no warnings either";

        QFile::remove(marker);
        QProcess launch;
        launch.start(u"gio"_s, {u"launch"_s, entry});
        ASSERT_TRUE(launch.waitForFinished(10000));
        EXPECT_EQ(launch.exitCode(), 0) << launch.readAllStandardError().toStdString();
        for (int i = 0; i < 100 && !QFile::exists(marker); ++i)
            QThread::msleep(50);
        EXPECT_EQ(readAll(marker), bundle + u"/Contents/MacOS/Corvala"_s);
    }
}

TEST(DesktopEntry, ALaterInstallationReplacesTheEntryAndAMissingBundleLeavesNone)
{
    QTemporaryDir dir;
    const QString bundle = dir.filePath(u"opt/Corvala.app"_s), menu = dir.filePath(u"menu"_s);
    makeBundle(bundle, u"<key>CFBundleName</key><string>Corvala</string><key>CFBundleExecutable</key><string>Corvala</string>"_s,
               dir.filePath(u"started"_s));
    QString error;
    ASSERT_TRUE(DesktopEntry::update(bundle, {}, menu, &error));
    // The next version renames itself; the same file is rewritten.
    makeBundle(bundle, u"<key>CFBundleName</key><string>Corvala 2</string><key>CFBundleExecutable</key><string>Corvala</string>"_s,
               dir.filePath(u"started"_s));
    ASSERT_TRUE(DesktopEntry::update(bundle, {}, menu, &error));
    EXPECT_EQ(QDir(menu).entryList(QDir::Files | QDir::Hidden), QStringList{u"Corvala.desktop"_s});
    EXPECT_TRUE(readAll(menu + u"/Corvala.desktop"_s).contains(u"\nName=Corvala 2\n"_s));

    // A bundle that cannot be started, then none at all: no entry, and a reason.
    QFile::remove(bundle + u"/Contents/MacOS/Corvala"_s);
    EXPECT_FALSE(DesktopEntry::update(bundle, {}, menu, &error));
    EXPECT_TRUE(error.contains(u"not an executable"_s)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(menu + u"/Corvala.desktop"_s));
    QDir(bundle).removeRecursively();
    EXPECT_FALSE(DesktopEntry::update(bundle, {}, menu, &error));
    EXPECT_TRUE(QDir(menu).isEmpty());
}

TEST(DesktopEntry, FileNamesAreDesktopFileIds)
{
    EXPECT_EQ(DesktopEntry::fileNameFor(u"/opt/Corvala Beta.app"_s), u"Corvala_Beta.desktop"_s);
    EXPECT_EQ(DesktopEntry::fileNameFor(u"/opt/.hidden.app"_s), u"app.hidden.desktop"_s);
}
