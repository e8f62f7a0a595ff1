// The single-instance socket: what a broken or hostile client can send, what a crashed instance
// leaves at the path, and socket paths at every depth of the temporary folder.

#include "shell/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using Role = shell::SingleInstance::Role;

TEST(SingleInstance, GarbageIsDroppedAndEachHandOverStaysOneMessage)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ti.sock"_s);
    shell::SingleInstance first(path);
    ASSERT_EQ(first.claim(QString()), Role::Primary);
    QSignalSpy urls(&first, &shell::SingleInstance::commandUrlReceived);
    QSignalSpy activations(&first, &shell::SingleInstance::activateRequested);
    QLocalSocket junk, flood;
    for (QLocalSocket *socket : {&junk, &flood}) {
        socket->connectToServer(path);
        ASSERT_TRUE(socket->waitForConnected(2000));
    }
    // Unknown lines, binary bytes, an empty "open", near misses of "activate", blank lines; between
    // them two messages, and one more whose line comes in two writes.
    static const char garbage[] = "bogus\n\xff\xfe\x00\x01\nopen \r\nactivatex\nACTIVATE\nactivate now\nx\0activate\n\n"
                                  "activate\r\nopen caf\xC3\xA9://x y\n\r\nopen qsd://lic";
    junk.write(QByteArray(garbage, sizeof garbage - 1)), junk.flush();
    flood.write(QByteArray(200 * 1024, 'A')), flood.flush();  // far longer than any message, without an end: dropped
    EXPECT_TRUE(QTest::qWaitFor([&] { return flood.state() == QLocalSocket::UnconnectedState; }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return urls.size() == 1; }, 2000));
    junk.write("enseAgreement\n"), junk.flush();
    EXPECT_TRUE(QTest::qWaitFor([&] { return urls.size() == 2; }, 2000));

    // A line break inside a URL cannot smuggle in a second message.
    EXPECT_EQ(shell::SingleInstance(path).claim(u"qsd://crashInfo\nactivate"_s), Role::HandedOver);
    EXPECT_EQ(shell::SingleInstance(path).claim(QString()), Role::HandedOver);
    EXPECT_TRUE(QTest::qWaitFor([&] { return urls.size() == 3 && activations.size() == 2; }, 2000));
    QTest::qWait(50);
    EXPECT_EQ(urls, (QList<QVariantList>{{u"café://x y"_s}, {u"qsd://licenseAgreement"_s}, {u"qsd://crashInfo activate"_s}}));
    EXPECT_EQ(activations.size(), 2);
}

// A socket file that a crash left (bound, never listening) is taken over at once; a folder in the
// way lets the installer run alone.
TEST(SingleInstance, AStaleSocketIsTakenOverAtOnceAndAFolderInTheWayLetsItRunAlone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ti.sock"_s);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, QFile::encodeName(path).constData(), size_t(QFile::encodeName(path).size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ::close(fd);
    QElapsedTimer clock;
    clock.start();
    shell::SingleInstance fresh(path);
    EXPECT_EQ(fresh.claim(QString()), Role::Primary);
    EXPECT_LT(clock.elapsed(), 1000);
    QSignalSpy urls(&fresh, &shell::SingleInstance::commandUrlReceived);
    EXPECT_EQ(shell::SingleInstance(path).claim(u"qsd://licenseAgreement"_s), Role::HandedOver);
    EXPECT_TRUE(urls.wait(2000) || urls.size() == 1);

    ASSERT_TRUE(QDir().mkpath(dir.filePath(u"folder.sock/inside"_s)));
    EXPECT_EQ(shell::SingleInstance(dir.filePath(u"folder.sock"_s)).claim(QString()), Role::Alone);

    // In a folder others may enter, only this user may connect to the socket.
    const QString open = dir.filePath(u"open"_s);
    ASSERT_TRUE(QDir().mkdir(open) && QFile::setPermissions(open, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                                      | QFile::ReadOther | QFile::ExeOther));
    shell::SingleInstance exposed(open + u"/ti.sock"_s);
    const mode_t umask = ::umask(0);  // the permissions then come from the code alone
    const Role role = exposed.claim(QString());
    ::umask(umask);
    ASSERT_EQ(role, Role::Primary);
    EXPECT_EQ(QFileInfo(open + u"/ti.sock"_s).permissions() & (QFile::WriteGroup | QFile::WriteOther), 0);
}

// However deep the temporary folder, exactly one instance runs: the first listens, the second
// hands over. Natural paths around the socket address limit, then folders too deep even for the
// short name (which go to XDG_RUNTIME_DIR, or to a private folder in /tmp without it).
TEST(SingleInstance, ExactlyOneInstanceAtEveryDepth)
{
    QTemporaryDir scratch;
    const QString runtime = scratch.filePath(u"run"_s);
    ASSERT_TRUE(QDir().mkpath(runtime) && QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString identifier = u"com.brightmoor.corvala.tinyinstaller.test"_s, login = u"tester"_s;
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QString shared = u"/tmp/ti-%1"_s.arg(::getuid());
    const bool sharedExisted = QFileInfo::exists(shared);

    QList<std::pair<int, bool>> rows;  // bytes of the folder, whether XDG_RUNTIME_DIR is set
    for (int natural = 100; natural <= 110; ++natural)
        rows.append({natural - int(u"/%1.%2.sock"_s.arg(identifier, login).size()), true});
    for (int folder = 80; folder <= 86; folder += 2)
        rows.append({folder, folder % 4 == 0});
    for (const auto &[folderBytes, withRuntime] : rows) {
        const QString base = scratch.filePath(u"d"_s);
        const QString folder = base + QString(folderBytes - int(base.size()), u'x');
        ASSERT_TRUE(QDir().mkpath(folder));
        withRuntime ? qputenv("XDG_RUNTIME_DIR", runtime.toUtf8()) : qunsetenv("XDG_RUNTIME_DIR");
        const QString path = shell::SingleInstance::socketPathFor(folder, identifier, login);
        SCOPED_TRACE(u"folder of %1 bytes: %2"_s.arg(folderBytes).arg(path).toStdString());
        EXPECT_TRUE(shell::SingleInstance::fitsSocketAddress(path));
        {
            shell::SingleInstance first(path), second(path);
            EXPECT_EQ(first.claim(QString()), Role::Primary);
            EXPECT_EQ(second.claim(u"qsd://crashInfo"_s), Role::HandedOver);
        }
        QFile::remove(path + u".lock"_s);
        QDir(folder).removeRecursively();
    }
    savedRuntime.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", savedRuntime);
    if (!sharedExisted)
        QDir(shared).removeRecursively();
}
