#include "shell/SingleInstance.h"

#include "shell/SingleInstanceMessage.h"

#include "platform/Bundle.h"
#include "platform/Console.h"
#include "platform/Host.h"
#include "platform/PrivateDirectory.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace shell {
namespace {

// Held while an instance decides whether it is the first. flock() is released by the system when
// its owner dies, like QLockFile's stale-lock check, but it does not wait for the disk: QLockFile
// syncs its file (fdatasync), which on a busy disk took longer than the rest of the start-up.
class DecisionLock {
public:
    DecisionLock(const QString &path, int timeoutMs)
        : path_(QFile::encodeName(path))
    {
        const QDeadlineTimer deadline(timeoutMs);
        do {
            if (fd_ < 0)
                fd_ = ::open(path_.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (fd_ < 0)
                return;
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                // The holder before us unlinks the file when it is done; a lock on that unlinked
                // file would not exclude someone who has meanwhile made a new one. Only a lock on
                // the file that the name still leads to counts.
                if (isTheNamedFile()) {
                    locked_ = true;
                    return;
                }
                ::close(fd_);
                fd_ = -1;
                continue;
            }
            if (errno != EWOULDBLOCK)
                return;
            QThread::msleep(2);
        } while (!deadline.hasExpired());
    }
    ~DecisionLock()
    {
        if (fd_ < 0)
            return;
        // The decision is taken: from now on a server listens or another instance does. Whoever
        // still waits on this file goes on to find it; nothing is left in the folder.
        if (locked_)
            ::unlink(path_.constData());
        ::close(fd_);
    }
    DecisionLock(const DecisionLock &) = delete;
    DecisionLock &operator=(const DecisionLock &) = delete;

    bool isLocked() const { return locked_; }

private:
    bool isTheNamedFile() const
    {
        struct stat held {}, named {};
        return ::fstat(fd_, &held) == 0 && ::stat(path_.constData(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino;
    }

    QByteArray path_;
    int fd_ = -1;
    bool locked_ = false;
};

}  // namespace

SingleInstance::SingleInstance(const QString &socketPath, QObject *parent)
    : QObject(parent)
    , socketPath_(socketPath)
{
}

SingleInstance::~SingleInstance()
{
    if (server_)
        server_->close();  // removes the socket file
}

QString SingleInstance::defaultSocketPath()
{
    return socketPathFor(platform::host().temporaryDirectory(), platform::Bundle::bundleIdentifier(),
                         platform::host().loginName());
}

bool SingleInstance::fitsSocketAddress(const QString &path)
{
    // QLocalServer keeps two bytes of the address free (the terminating zero, and the leading one
    // of an abstract name) and refuses a longer path, so this is the limit for us too.
    return QFile::encodeName(path).size() + 2 <= qsizetype(sizeof(sockaddr_un::sun_path));
}

QString SingleInstance::socketPathFor(const QString &directory, const QString &bundleIdentifier, const QString &login)
{
    QString name = QStringLiteral("%1.%2").arg(bundleIdentifier, login);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QDir folder(directory.isEmpty() ? QDir::tempPath() : directory);
    const QString natural = folder.filePath(name + QStringLiteral(".sock"));
    if (fitsSocketAddress(natural))
        return natural;
    // A deep temporary folder needs a shorter name; a deeper one a short folder of the same kind.
    const QString shortName =
        QStringLiteral("ti-%1.sock")
            .arg(QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(16)));
    if (fitsSocketAddress(folder.filePath(shortName)))
        return folder.filePath(shortName);
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && platform::PrivateDirectory::isPrivate(runtime)
        && fitsSocketAddress(QDir(runtime).filePath(shortName)))
        return QDir(runtime).filePath(shortName);
    // Every instance walks the same names in the same order, so they all meet in the first one
    // that is private to this user; a name someone else holds is passed over.
    const QString shared = QStringLiteral("/tmp/ti-%1").arg(::getuid());
    for (int attempt = 0; attempt < 4; ++attempt) {
        const QString candidate = attempt == 0 ? shared : QStringLiteral("%1-%2").arg(shared).arg(attempt);
        if (platform::PrivateDirectory::ensure(candidate))
            return QDir(candidate).filePath(shortName);
    }
    return natural;  // listening fails and says why
}

SingleInstance::Role SingleInstance::claim(const QString &commandUrl)
{
    // Two instances started together must not both decide they are first: the decision is taken
    // under a lock file (which the system frees when its owner has died).
    const DecisionLock lock(socketPath_ + QStringLiteral(".lock"), kHandOverTimeoutMs);
    const bool locked = lock.isLocked();

    if (handOver(commandUrl))
        return Role::HandedOver;

    // Nobody answered: whatever is at the path is left over from an instance that is gone.
    QLocalServer::removeServer(socketPath_);
    server_ = new QLocalServer(this);
    // In a folder only we can enter nobody else reaches the socket anyway. Elsewhere Qt makes the
    // socket in a private folder of its own and moves it into place, which costs a folder's
    // creation and removal on the way to the first window.
    if (!platform::PrivateDirectory::isPrivate(QFileInfo(socketPath_).path()))
        server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->setMaxPendingConnections(kMaxConnections);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    if (server_->listen(socketPath_))
        return Role::Primary;

    const QString reason = server_->errorString();
    delete server_;
    server_ = nullptr;
    if (!locked && handOver(commandUrl))
        return Role::HandedOver;
    platform::console(QStringLiteral("Single instance check unavailable (%1): %2").arg(socketPath_, reason));
    return Role::Alone;
}

bool SingleInstance::handOver(const QString &commandUrl)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kHandOverTimeoutMs))
        return false;
    socket.write(SingleInstanceMessage::encode(commandUrl));
    socket.flush();
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(kHandOverTimeoutMs)) {
            platform::console(QStringLiteral("Could not reach the running installer: %1").arg(socket.errorString()));
            return true;  // it runs; a second window would not help
        }
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kHandOverTimeoutMs);
    return true;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = server_->nextPendingConnection()) {
        if (openConnections_ >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++openConnections_;
        socket->setReadBufferSize(kMaxMessageBytes);
        auto *idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, &QLocalSocket::abort);
        idle->start(kIdleTimeoutMs);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            --openConnections_;
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0)
            readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket *socket)
{
    // Bytes of an unfinished line wait on the socket object itself; nothing grows past the limit.
    QByteArray pending = socket->property("pendingLine").toByteArray();
    while (socket->bytesAvailable() > 0) {
        pending += socket->read(kMaxMessageBytes + 1 - pending.size());
        for (const QByteArray &line : SingleInstanceMessage::takeLines(pending))
            handleLine(line);
        if (pending.size() > kMaxMessageBytes) {
            socket->abort();
            return;
        }
    }
    socket->setProperty("pendingLine", pending);
}

void SingleInstance::handleLine(const QByteArray &line)
{
    const auto message = SingleInstanceMessage::decode(line);
    if (!message)
        return;
    if (message->kind == SingleInstanceMessage::Kind::Activate)
        emit activateRequested();
    else
        emit commandUrlReceived(message->url);
}

}  // namespace shell
