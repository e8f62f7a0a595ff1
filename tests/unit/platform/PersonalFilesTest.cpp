#include "platform/InvokingPerson.h"
#include "platform/PersonalFiles.h"

#include "TestEnv.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <pwd.h>
#include <unistd.h>

using platform::InvokingPerson;
using platform::PersonalFiles;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

}  // namespace

TEST(PersonalFiles, AsRootNothingBelowTheHomeIsReachedThroughALinkOrAnotherPersonsFolder)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "links are refused only when running as root";
    TestEnv env;
    const QString home = env.host.home;
    const QString outside = env.path("outside");
    ASSERT_TRUE(QDir().mkpath(outside) && QDir().mkpath(home + "/.local"));
    QFile victim(outside + "/victim.txt");
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
    victim.write("keep");
    victim.close();
    ASSERT_TRUE(QFile::link(outside, home + "/.local/share"));                    // a folder on the way
    ASSERT_TRUE(QFile::link(outside + "/victim.txt", home + "/tiny.log"));        // the file itself
    ASSERT_TRUE(QFile::link(outside + "/victim.txt", home + "/version.json"));    // replaced, not followed

    QString error;
    EXPECT_LT(PersonalFiles::open(home + "/.local/share/Logs/tiny.log", O_WRONLY | O_APPEND | O_CREAT, 0600, &error), 0);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_LT(PersonalFiles::open(home + "/tiny.log", O_WRONLY | O_APPEND | O_CREAT, 0600, &error), 0);
    EXPECT_LT(PersonalFiles::open(home + "/tiny.log", O_RDONLY, 0, &error), 0);
    EXPECT_FALSE(PersonalFiles::writeWhole(home + "/.local/share/version.json", "x", &error));
    ASSERT_TRUE(PersonalFiles::writeWhole(home + "/version.json", "{}", &error)) << error.toStdString();
    EXPECT_FALSE(QFileInfo(home + "/version.json").isSymLink());
    EXPECT_EQ(readAll(home + "/version.json"), "{}");
    EXPECT_EQ(readAll(outside + "/victim.txt"), "keep");
    EXPECT_TRUE(QDir(outside).entryList(QDir::NoDotAndDotDot | QDir::AllEntries) == QStringList{"victim.txt"});

    // Folders that are missing are made; files owned by someone else are refused.
    const int fd = PersonalFiles::open(home + "/a/b/c.log", O_WRONLY | O_CREAT, 0600, &error);
    ASSERT_GE(fd, 0) << error.toStdString();
    ::close(fd);
    ASSERT_EQ(::chown(QFile::encodeName(home + "/a/b").constData(), 65534, 65534), 0);
    EXPECT_LT(PersonalFiles::open(home + "/a/b/c.log", O_RDONLY, 0, &error), 0);
    EXPECT_TRUE(error.contains("someone else")) << error.toStdString();
    EXPECT_FALSE(PersonalFiles::removeFile(home + "/a/b/c.log", &error));
    EXPECT_TRUE(QFile::exists(home + "/a/b/c.log"));
}

TEST(PersonalFiles, AsRootOnlyThePersonsOwnFilesAreUsedGivenAwayOrRemoved)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the rules for someone else's files hold only when running as root";
    TestEnv env;
    const QString home = env.host.home, outside = env.path("outside");
    ASSERT_TRUE(QDir().mkpath(outside) && QDir().mkpath(home + "/Logs") && QDir().mkpath(outside + "/cache/com.example.id"));
    const QByteArray secret = QFile::encodeName(outside + "/secret.txt");
    QFile file(outside + "/secret.txt");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("root only") == 9);
    file.close();
    ASSERT_EQ(::chmod(secret.constData(), 0600), 0);
    // A second name of root's file in the person's folder (fs.protected_hardlinks off), a file of
    // someone else's, and a caches folder that is a link to a folder of root's.
    ASSERT_EQ(::link(secret.constData(), QFile::encodeName(home + "/Logs/tiny.log").constData()), 0);
    QFile other(home + "/Logs/other.log");
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    ASSERT_EQ(::chown(QFile::encodeName(home + "/Logs/other.log").constData(), 65534, 65534), 0);
    ASSERT_TRUE(QFile::link(outside + "/cache", home + "/.cache"));

    QString error;
    for (const char *name : {"/Logs/tiny.log", "/Logs/other.log"}) {
        SCOPED_TRACE(name);
        EXPECT_LT(PersonalFiles::open(home + name, O_WRONLY | O_APPEND | O_CREAT, 0600, &error), 0);
        EXPECT_LT(PersonalFiles::open(home + name, O_RDONLY, 0, &error), 0);
        EXPECT_FALSE(PersonalFiles::removeFile(home + name, &error));
        EXPECT_TRUE(QFile::exists(home + name));
    }
    EXPECT_FALSE(PersonalFiles::removeTree(home + "/.cache/com.example.id", &error));
    EXPECT_TRUE(QDir(outside + "/cache/com.example.id").exists());
    struct stat info {};
    ASSERT_EQ(::stat(secret.constData(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(readAll(outside + "/secret.txt"), "root only");
    ASSERT_EQ(::stat(QFile::encodeName(home + "/Logs/other.log").constData(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u) << "a file found at the name is never given away";

    // The person's own files are used and removed, folders and all, without following a link.
    const int fd = PersonalFiles::open(home + "/Logs/new.log", O_WRONLY | O_APPEND | O_CREAT, 0600, &error);
    ASSERT_GE(fd, 0) << error.toStdString();
    ::close(fd);
    EXPECT_TRUE(PersonalFiles::removeFile(home + "/Logs/new.log", &error)) << error.toStdString();
    EXPECT_TRUE(PersonalFiles::removeFile(home + "/Logs/new.log", &error)) << "a missing file counts as removed";
    ASSERT_TRUE(QDir().mkpath(home + "/own/deep/er") && QFile::link(outside, home + "/own/deep/out"));
    EXPECT_TRUE(PersonalFiles::removeTree(home + "/own", &error)) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home + "/own"));
    EXPECT_TRUE(QFile::exists(outside + "/secret.txt"));
}

TEST(InvokingPerson, OnlyRootStartedThroughSudoOrPkexecActsForSomeoneElse)
{
    const passwd *nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const QString uid = QString::number(nobody->pw_uid);
    const auto environment = [](const QStringList &pairs) {
        QProcessEnvironment e;
        for (const QString &pair : pairs)
            e.insert(pair.section('=', 0, 0), pair.section('=', 1));
        return e;
    };
    EXPECT_FALSE(InvokingPerson::find(0, environment({})));
    EXPECT_FALSE(InvokingPerson::find(1000, environment({"SUDO_UID=" + uid})));
    EXPECT_FALSE(InvokingPerson::find(0, environment({"SUDO_UID=0"})));
    EXPECT_FALSE(InvokingPerson::find(0, environment({"SUDO_UID=abc"})));
    EXPECT_FALSE(InvokingPerson::find(0, environment({"SUDO_UID=4000000000"})));
    const auto person = InvokingPerson::find(0, environment({"PKEXEC_UID=" + uid, "USER=root"}));
    ASSERT_TRUE(person);
    EXPECT_EQ(person->name, "nobody") << "the name comes from the password entry";

    const QProcessEnvironment clean = person->cleanEnvironment(environment(
        {"HOME=/root", "USER=root", "DISPLAY=:5", "XDG_RUNTIME_DIR=/run/user/1", "DBUS_SESSION_BUS_ADDRESS=unix:x",
         "LANG=de_DE.UTF-8", "LC_TIME=C", "LD_PRELOAD=/tmp/evil.so", "PATH=/tmp/evil", "SUDO_UID=" + uid}));
    EXPECT_EQ(clean.value("HOME"), QString::fromLocal8Bit(nobody->pw_dir));
    EXPECT_EQ(clean.value("USER"), "nobody");
    EXPECT_EQ(clean.value("LOGNAME"), "nobody");
    EXPECT_EQ(clean.value("PATH"), "/usr/local/bin:/usr/bin:/bin");
    for (const char *kept : {"DISPLAY", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS", "LANG", "LC_TIME"})
        EXPECT_TRUE(clean.contains(kept)) << kept;
    for (const char *dropped : {"LD_PRELOAD", "SUDO_UID"})
        EXPECT_FALSE(clean.contains(dropped)) << dropped;
    EXPECT_EQ(person->commandAs("/p/x", {"a"}),
              QStringList({"/usr/bin/setpriv", "--reuid=" + uid, QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                           "--init-groups", "--", "/p/x", "a"}));
}
