// Root started through sudo or pkexec acts for the person who started it; what it does with the
// files below their home is shown end to end (tests/e2e/privileged.py).
#include "platform/InvokingPerson.h"
#include "platform/PersonalFiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::InvokingPerson;

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
    for (const QString &variable : QStringList{"USER=root", "SUDO_UID=0", "SUDO_UID=abc", "SUDO_UID=4000000000"})
        EXPECT_FALSE(InvokingPerson::find(0, environment({variable}))) << variable.toStdString();
    EXPECT_FALSE(InvokingPerson::find(1000, environment({"SUDO_UID=" + uid})));
    const auto person = InvokingPerson::find(0, environment({"PKEXEC_UID=" + uid, "USER=root"}));
    ASSERT_TRUE(person);
    EXPECT_EQ(person->name, "nobody") << "the name comes from the password entry";

    const QProcessEnvironment clean = person->cleanEnvironment(environment(
        {"HOME=/root", "USER=root", "DISPLAY=:5", "XDG_RUNTIME_DIR=/run/user/1", "DBUS_SESSION_BUS_ADDRESS=unix:x",
         "LANG=de_DE.UTF-8", "LC_TIME=C", "LD_PRELOAD=/tmp/evil.so", "PATH=/tmp/evil", "SUDO_UID=" + uid}));
    EXPECT_EQ(QStringList({clean.value("HOME"), clean.value("USER"), clean.value("LOGNAME"), clean.value("PATH")}),
              QStringList({QString::fromLocal8Bit(nobody->pw_dir), "nobody", "nobody", "/usr/local/bin:/usr/bin:/bin"}));
    const std::pair<const char *, bool> variables[] = {{"DISPLAY", true}, {"XDG_RUNTIME_DIR", true}, {"DBUS_SESSION_BUS_ADDRESS", true},
                                                       {"LANG", true}, {"LC_TIME", true}, {"LD_PRELOAD", false}, {"SUDO_UID", false}};
    for (const auto &[name, kept] : variables)
        EXPECT_EQ(clean.contains(name), kept) << name;
    EXPECT_EQ(person->commandAs("/p/x", {"a"}),
              QStringList({"/usr/bin/setpriv", "--reuid=" + uid, QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                           "--init-groups", "--", "/p/x", "a"}));
}

// As root, a file below a person's folder is used only when it is theirs alone: a regular file
// with one link. A second name (a hard link), a link, another's file or a FIFO (opened without
// waiting for a writer) is refused.
TEST(PersonalFiles, AsRootOnlyAFileWithOneLinkOfThePersonIsOpened)
{
    if (::geteuid() != 0 || InvokingPerson::current())
        GTEST_SKIP() << "the rules hold for root, whose files they are here";
    QTemporaryDir dir;
    const auto path = [&](const char *name) { return dir.filePath(QString::fromLatin1(name)); };
    const auto make = [&](const char *name) { QFile file(path(name)); return file.open(QIODevice::WriteOnly); };
    ASSERT_TRUE(make("own") && make("linked") && make("others"));
    ASSERT_EQ(::link(QFile::encodeName(path("linked")).constData(), QFile::encodeName(path("second name")).constData()), 0);
    ASSERT_EQ(::chown(QFile::encodeName(path("others")).constData(), 65534, 65534), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(path("own"), path("link")));
    for (const char *name : {"own", "linked", "others", "fifo", "link"}) {
        QString error;
        const int fd = platform::PersonalFiles::open(path(name), O_WRONLY | O_APPEND | O_CREAT, 0600, &error);
        EXPECT_EQ(fd >= 0, QByteArray(name) == "own") << name << ": " << error.toStdString();
        if (fd >= 0) {
            EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << "writes block as usual";
        }
        ::close(fd);
    }
}
