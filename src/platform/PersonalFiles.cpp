#include "platform/PersonalFiles.h"

#include "platform/Host.h"
#include "platform/InvokingPerson.h"
#include "platform/TreeRemoval.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Running as root (through sudo, pkexec or by itself), the home folder may belong to someone who
// plants links to make root write or read elsewhere. A person's own run follows their own links.
bool guarded()
{
    return ::geteuid() == 0;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Whose the files below the home folder are: the invoking person's, else the real user's.
uid_t personUid()
{
    const auto person = InvokingPerson::current();
    return person ? person->uid : ::getuid();
}

bool ownedByPersonOrRoot(const struct stat &info)
{
    return info.st_uid == 0 || info.st_uid == ::getuid() || info.st_uid == personUid();
}

// A file root may use for the person: theirs, and not a second name of some other file (with
// fs.protected_hardlinks off, anyone may link a file of root's into their own folder).
bool isPersonsOwnFile(const struct stat &info)
{
    return S_ISREG(info.st_mode) && info.st_nlink == 1 && info.st_uid == personUid();
}

// What root makes for the person becomes theirs.
void giveToPerson(int fd)
{
    if (const auto person = InvokingPerson::current())
        (void)::fchown(fd, person->uid, person->gid);
}

void giveToPerson(int folder, const QByteArray &name)
{
    if (const auto person = InvokingPerson::current())
        (void)::fchownat(folder, name.constData(), person->uid, person->gid, AT_SYMLINK_NOFOLLOW);
}

bool writeAll(int fd, const QByteArray &content)
{
    const char *data = content.constData();
    size_t left = size_t(content.size());
    while (left > 0) {
        const ssize_t done = ::write(fd, data, left);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        left -= size_t(done);
    }
    return true;
}

}  // namespace

int PersonalFiles::openFolder(const QString &folder, bool create, QString *error)
{
    const QString home = QDir::cleanPath(host().homeDirectory());
    const QString target = QDir::cleanPath(folder);
    // The home folder itself may be reached through a system link (/home -> /usr/home); below it,
    // nothing is followed.
    QString base = target;
    QStringList below;
    if (guarded() && !home.isEmpty() && home != QLatin1String("/") && target.startsWith(home + QLatin1Char('/'))) {
        base = home;
        below = target.mid(home.size() + 1).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    }
    if (create && !QFileInfo::exists(base))
        QDir().mkpath(base);
    int fd = ::open(QFile::encodeName(base).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(base, systemError());
        return -1;
    }
    for (const QString &part : below) {
        const QByteArray name = QFile::encodeName(part);
        int next = ::openat(fd, name.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && create && ::mkdirat(fd, name.constData(), 0700) == 0) {
            giveToPerson(fd, name);
            next = ::openat(fd, name.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        struct stat info {};
        const bool usable = next >= 0 && ::fstat(next, &info) == 0 && ownedByPersonOrRoot(info);
        if (!usable) {
            *error = next < 0 ? QStringLiteral("cannot open %1 in %2 without following a link: %3").arg(part, base, systemError())
                              : QStringLiteral("%1 belongs to someone else").arg(part);
            if (next >= 0)
                ::close(next);
            ::close(fd);
            return -1;
        }
        ::close(fd);
        fd = next;
    }
    return fd;
}

int PersonalFiles::openIn(int folder, const QString &name, int flags, mode_t mode, QString *error)
{
    const QByteArray encoded = QFile::encodeName(name);
    int fd = -1;
    bool created = false;
    // Never blocking in open: a FIFO at the name (anyone's, as root) would hold the run there
    // before its window appears, out of reach of SIGTERM. What is not a regular file is refused
    // below, and a file keeps blocking reads and writes.
    flags |= O_NONBLOCK;
    if (!guarded() || !(flags & O_CREAT) || (flags & O_EXCL)) {
        fd = ::openat(folder, encoded.constData(), flags | (guarded() ? O_NOFOLLOW : 0) | O_CLOEXEC, mode);
        created = fd >= 0 && (flags & O_EXCL);
    } else {
        // As root, a file is either there already (and must be the person's) or made here and now:
        // only a file this call made is given away, never one found at the name.
        for (int attempt = 0; fd < 0 && attempt < 3; ++attempt) {
            fd = ::openat(folder, encoded.constData(), (flags & ~O_CREAT) | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0 || errno != ENOENT)
                break;
            fd = ::openat(folder, encoded.constData(), flags | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            created = fd >= 0;
            if (fd < 0 && errno != EEXIST)
                break;
        }
    }
    if (fd < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(name, systemError());
        return -1;
    }
    if (created && guarded())
        giveToPerson(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (guarded() && !isPersonsOwnFile(info))) {
        *error = QStringLiteral("%1 is not a file of this person").arg(name);
        ::close(fd);
        return -1;
    }
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int PersonalFiles::open(const QString &path, int flags, mode_t mode, QString *error)
{
    const QFileInfo info(path);
    const int folder = openFolder(info.path(), flags & O_CREAT, error);
    if (folder < 0)
        return -1;
    const int fd = openIn(folder, info.fileName(), flags, mode, error);
    ::close(folder);
    return fd;
}

bool PersonalFiles::removeFile(const QString &path, QString *error)
{
    const QFileInfo info(path);
    const int folder = openFolder(info.path(), false, error);
    if (folder < 0)
        return !QFileInfo::exists(info.path()) && !QFileInfo(info.path()).isSymLink();
    const QByteArray name = QFile::encodeName(info.fileName());
    struct stat status {};
    bool removed = true;
    if (::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        if (guarded() && !isPersonsOwnFile(status)) {
            *error = QStringLiteral("%1 is not a file of this person").arg(info.fileName());
            removed = false;
        } else if (::unlinkat(folder, name.constData(), 0) != 0 && errno != ENOENT) {
            *error = QStringLiteral("cannot remove %1: %2").arg(path, systemError());
            removed = false;
        }
    }
    ::close(folder);
    return removed;
}

bool PersonalFiles::removeTree(const QString &path, QString *error)
{
    const QFileInfo info(path);
    const int folder = openFolder(info.path(), false, error);
    if (folder < 0)
        return false;
    const QByteArray name = QFile::encodeName(info.fileName());
    struct stat status {};
    bool removed = false;
    if (::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        *error = QStringLiteral("%1: %2").arg(path, systemError());
    else
        removed = TreeRemoval::removeAt(folder, name, error);
    ::close(folder);
    return removed;
}

bool PersonalFiles::writeWhole(const QString &path, const QByteArray &content, QString *error)
{
    const QFileInfo info(path);
    const int folder = openFolder(info.path(), true, error);
    if (folder < 0)
        return false;
    const QByteArray finalName = QFile::encodeName(info.fileName());
    const QString temporary = QStringLiteral(".%1.%2").arg(info.fileName()).arg(QRandomGenerator::global()->generate64(), 0, 36);
    const QByteArray temporaryName = QFile::encodeName(temporary);
    bool ok = false;
    const int fd = openIn(folder, temporary, O_WRONLY | O_CREAT | O_EXCL, 0644, error);
    if (fd >= 0) {
        ok = writeAll(fd, content) && ::fsync(fd) == 0;
        ok = (::close(fd) == 0) && ok;
        if (ok)
            ok = ::renameat(folder, temporaryName.constData(), folder, finalName.constData()) == 0;
        if (!ok) {
            *error = QStringLiteral("cannot write %1: %2").arg(path, systemError());
            ::unlinkat(folder, temporaryName.constData(), 0);
        }
    }
    ::close(folder);
    return ok;
}

}  // namespace platform
