#include "platform/PlacementLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// One name per bundle, however its folder is spelt: a link or a trailing slash in the
// applications folder's path must not give a second lock for the same bundle.
QByteArray lockNameFor(const QString &target)
{
    const QFileInfo info(QDir::cleanPath(QDir(target).absolutePath()));
    const QString folder = info.dir().canonicalPath();
    const QString path = (folder.isEmpty() ? info.path() : folder) + QLatin1Char('/') + info.fileName();
    return QCryptographicHash::hash(QFile::encodeName(path), QCryptographicHash::Sha256).toHex().left(32) + ".lock";
}

// The folder, made if missing; only when root alone can reach into it (root's, a folder and not a
// link, writable by no group or other).
int openRootOnlyFolder(const QString &folder, QString *error)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        *error = QStringLiteral("cannot make the lock folder %1: %2").arg(folder, systemError());
        return -1;
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        *error = QStringLiteral("cannot open the lock folder %1: %2").arg(folder, systemError());
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        *error = QStringLiteral("the lock folder %1 is open to other accounts").arg(folder);
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

QString PlacementLock::defaultFolder()
{
    return QStringLiteral("/run/tiny-installer");
}

PlacementLock::PlacementLock(const QString &target, std::chrono::milliseconds wait)
    : PlacementLock(defaultFolder(), target, wait)
{
}

PlacementLock::PlacementLock(const QString &folder, const QString &target, std::chrono::milliseconds wait)
{
    if (::geteuid() != 0) {
        error_ = QStringLiteral("only the superuser takes the placement lock");
        return;
    }
    folder_ = openRootOnlyFolder(folder, &error_);
    if (folder_ < 0)
        return;
    name_ = lockNameFor(target);
    if (!acquire(folder_, name_, wait))
        error_ = QStringLiteral("%1 (lock %2/%3 on %4)").arg(error_, folder, QString::fromLatin1(name_), target);
}

bool PlacementLock::acquire(int folder, const QByteArray &name, std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const int fd = ::openat(folder, name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        struct stat held {};
        if (fd < 0 || ::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode) || held.st_uid != 0) {
            error_ = fd < 0 ? QStringLiteral("cannot open the placement lock: %1").arg(systemError())
                            : QStringLiteral("the placement lock is not a regular file of the superuser's");
            if (fd >= 0)
                ::close(fd);
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // The holder before us removes the file as it lets go: locked, it must still be the
            // file at the name, or the next one to come would lock another and both would hold.
            struct stat named {};
            if (::fstatat(folder, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == held.st_ino
                && named.st_dev == held.st_dev) {
                fd_ = fd;
                return true;
            }
            ::close(fd);
            continue;
        }
        const int lockError = errno;
        ::close(fd);
        if (lockError != EWOULDBLOCK && lockError != EINTR) {
            error_ = QStringLiteral("cannot take the placement lock: %1").arg(QString::fromLocal8Bit(std::strerror(lockError)));
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            error_ = QStringLiteral("another placement or removal of this bundle still runs after %1 s")
                         .arg(std::chrono::duration_cast<std::chrono::seconds>(wait).count());
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

PlacementLock::~PlacementLock()
{
    if (fd_ >= 0) {
        ::unlinkat(folder_, name_.constData(), 0);  // still locked: nobody holds the name meanwhile
        ::close(fd_);
    }
    if (folder_ >= 0)
        ::close(folder_);
}

}  // namespace platform
