// What `cmake --install` lays out for desktops: the entry that registers the command scheme with
// the launcher. (The launcher starting the installed bundle: e2e.privileged.)

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(Packaging, TheDesktopEntryHandsTheSchemesAddressesToTheLauncher)
{
    QTemporaryDir prefix;
    ASSERT_EQ(QProcess::execute(QStringLiteral(TI_CMAKE_COMMAND), {u"--install"_s, QStringLiteral(TI_BUILD_DIR), u"--component"_s,
                                                                   u"installer"_s, u"--prefix"_s, prefix.path()}),
              0);
    const QString launcher = prefix.filePath(u"bin/tiny-installer"_s);
    EXPECT_TRUE(QFileInfo(launcher).isExecutable());
    QFile entryFile(prefix.filePath(u"share/applications/tiny-installer.desktop"_s));
    ASSERT_TRUE(entryFile.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(entryFile.readAll());
    // X11 desktops match the window to this entry by its WM_CLASS, which Qt takes from the executable.
    for (const QString &line : {u"Exec=%1 %u"_s.arg(launcher), u"MimeType=x-scheme-handler/qsd;"_s, u"StartupWMClass=TinyInstaller"_s})
        EXPECT_TRUE(entry.contains(u'\n' + line + u'\n')) << entry.toStdString();
}
