// The single-instance socket: hand-over, stale socket files, and what a hostile or broken client
// can (not) do to the running instance.

#include "shell/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    QString socketPath() const { return shell::SingleInstance::socketPathFor(dir.path(), QStringLiteral("com.example.ti"), QStringLiteral("tester")); }

    // Writes raw bytes as a client would and returns the connected socket.
    std::unique_ptr<QLocalSocket> connectRaw(const QByteArray &bytes)
    {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(socketPath());
        EXPECT_TRUE(socket->waitForConnected(2000));
        socket->write(bytes);
        socket->flush();
        return socket;
    }

    QTemporaryDir dir;
};

// Waits with the event loop running, so the server in this same thread can act.
bool closedByServer(QLocalSocket &socket, int timeoutMs = 3000)
{
    return QTest::qWaitFor([&socket] { return socket.state() == QLocalSocket::UnconnectedState; }, timeoutMs);
}

// Leaves a socket file that nobody listens on, as a crashed instance does.
void makeStaleSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    ASSERT_LT(size_t(encoded.size()), sizeof(address.sun_path));
    memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(QFileInfo::exists(path));
}

}  // namespace

TEST_F(SingleInstanceTest, ASecondClaimHandsItsUrlOrAnActivationToTheFirst)
{
    shell::SingleInstance first(socketPath());
    ASSERT_EQ(first.claim(QString()), shell::SingleInstance::Role::Primary);
    QSignalSpy urls(&first, &shell::SingleInstance::commandUrlReceived);
    QSignalSpy activations(&first, &shell::SingleInstance::activateRequested);

    shell::SingleInstance second(socketPath());
    EXPECT_EQ(second.claim(QStringLiteral("qsd://privacyPolicy")), shell::SingleInstance::Role::HandedOver);
    shell::SingleInstance third(socketPath());
    EXPECT_EQ(third.claim(QString()), shell::SingleInstance::Role::HandedOver);

    EXPECT_TRUE(QTest::qWaitFor([&] { return urls.size() == 1 && activations.size() == 1; }, 2000));
    EXPECT_EQ(urls.first().first().toString(), QStringLiteral("qsd://privacyPolicy"));
}

TEST_F(SingleInstanceTest, AUrlWithALineBreakStaysOneMessage)
{
    shell::SingleInstance first(socketPath());
    ASSERT_EQ(first.claim(QString()), shell::SingleInstance::Role::Primary);
    QSignalSpy urls(&first, &shell::SingleInstance::commandUrlReceived);
    QSignalSpy activations(&first, &shell::SingleInstance::activateRequested);
    shell::SingleInstance second(socketPath());
    ASSERT_EQ(second.claim(QStringLiteral("qsd://crashInfo\nactivate")), shell::SingleInstance::Role::HandedOver);
    EXPECT_TRUE(QTest::qWaitFor([&] { return urls.size() == 1; }, 2000));
    EXPECT_EQ(urls.first().first().toString(), QStringLiteral("qsd://crashInfo activate"));
    EXPECT_EQ(activations.size(), 0);
}

TEST_F(SingleInstanceTest, AStaleSocketFileIsTakenOver)
{
    makeStaleSocket(socketPath());
    shell::SingleInstance fresh(socketPath());
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(fresh.claim(QStringLiteral("qsd://crashInfo")), shell::SingleInstance::Role::Primary);
    EXPECT_LT(clock.elapsed(), 1000);  // no waiting on a dead socket

    QSignalSpy urls(&fresh, &shell::SingleInstance::commandUrlReceived);
    shell::SingleInstance later(socketPath());
    EXPECT_EQ(later.claim(QStringLiteral("qsd://licenseAgreement")), shell::SingleInstance::Role::HandedOver);
    EXPECT_TRUE(urls.wait(2000) || urls.size() == 1);
}

TEST_F(SingleInstanceTest, AnUnusablePlaceLetsTheInstallerRunAlone)
{
    // A folder where the socket should be can be neither connected to nor replaced.
    ASSERT_TRUE(QDir().mkpath(socketPath() + QStringLiteral("/inside")));
    shell::SingleInstance blocked(socketPath());
    EXPECT_EQ(blocked.claim(QString()), shell::SingleInstance::Role::Alone);
}

TEST_F(SingleInstanceTest, GarbageIsIgnoredAndTheServerKeepsAnswering)
{
    shell::SingleInstance first(socketPath());
    ASSERT_EQ(first.claim(QString()), shell::SingleInstance::Role::Primary);
    QSignalSpy urls(&first, &shell::SingleInstance::commandUrlReceived);
    QSignalSpy activations(&first, &shell::SingleInstance::activateRequested);

    // Unknown lines, binary bytes, an empty "open", a near miss of "activate"
    auto junk = connectRaw(QByteArray("bogus\n\xff\xfe\x00\x01\nopen \nactivatex\nACTIVATE\n\n", 44));
    // One line far longer than any message, without an end: the connection is dropped
    auto flood = connectRaw(QByteArray(200 * 1024, 'A'));
    EXPECT_TRUE(closedByServer(*flood));

    // Valid messages still arrive, also when split across writes and ended with CR LF
    auto split = connectRaw("open qsd://crash");
    QTest::qWait(50);
    split->write("Info\r\nactivate\n");
    split->flush();
    EXPECT_TRUE(QTest::qWaitFor([&] { return urls.size() == 1 && activations.size() == 1; }, 2000));
    EXPECT_EQ(urls.first().first().toString(), QStringLiteral("qsd://crashInfo"));
    QTest::qWait(50);
    EXPECT_EQ(urls.size(), 1);
    EXPECT_EQ(activations.size(), 1);
}

TEST_F(SingleInstanceTest, IdleConnectionsAreClosed)
{
    shell::SingleInstance first(socketPath());
    first.setIdleTimeout(200);
    ASSERT_EQ(first.claim(QString()), shell::SingleInstance::Role::Primary);
    auto silent = connectRaw(QByteArray());
    EXPECT_TRUE(closedByServer(*silent));
}

TEST_F(SingleInstanceTest, ConnectionsBeyondTheLimitAreRefusedButOthersStillWork)
{
    shell::SingleInstance first(socketPath());
    ASSERT_EQ(first.claim(QString()), shell::SingleInstance::Role::Primary);
    std::vector<std::unique_ptr<QLocalSocket>> held;
    for (int i = 0; i < shell::SingleInstance::kMaxConnections + 4; ++i)
        held.push_back(connectRaw(QByteArray()));
    QTest::qWait(200);
    int dropped = 0;
    for (auto &socket : held)
        dropped += socket->state() == QLocalSocket::UnconnectedState ? 1 : 0;
    EXPECT_EQ(dropped, 4);

    held.clear();  // the held ones go away; a real message gets through again
    QTest::qWait(100);
    QSignalSpy urls(&first, &shell::SingleInstance::commandUrlReceived);
    shell::SingleInstance second(socketPath());
    EXPECT_EQ(second.claim(QStringLiteral("qsd://crashInfo")), shell::SingleInstance::Role::HandedOver);
    EXPECT_TRUE(QTest::qWaitFor([&] { return urls.size() == 1; }, 2000));
}

TEST(SingleInstancePath, IsNamedFromIdentifierAndUserAndShortenedToFitASocketAddress)
{
    const QString plain = shell::SingleInstance::socketPathFor(QStringLiteral("/tmp/x"), QStringLiteral("com.example.ti"),
                                                               QStringLiteral("ann"));
    EXPECT_EQ(plain, QStringLiteral("/tmp/x/com.example.ti.ann.sock"));
    EXPECT_NE(plain, shell::SingleInstance::socketPathFor(QStringLiteral("/tmp/x"), QStringLiteral("com.example.ti"),
                                                          QStringLiteral("bob")));

    const QString deep = QStringLiteral("/tmp/") + QString(70, QLatin1Char('d'));
    const QString longId = QStringLiteral("com.example.some.rather.long.installer.identifier");
    const QString shortened = shell::SingleInstance::socketPathFor(deep, longId, QStringLiteral("ann"));
    EXPECT_TRUE(shortened.startsWith(deep + QLatin1Char('/')));
    EXPECT_LT(QFile::encodeName(shortened).size(), qsizetype(sizeof(sockaddr_un::sun_path)));
    EXPECT_NE(shortened, shell::SingleInstance::socketPathFor(deep, longId, QStringLiteral("bob")));
    // A user name cannot lead the path out of the folder.
    EXPECT_EQ(shell::SingleInstance::socketPathFor(QStringLiteral("/tmp/x"), QStringLiteral("id"), QStringLiteral("../../etc/y")),
              QStringLiteral("/tmp/x/id..._.._etc_y.sock"));
}
