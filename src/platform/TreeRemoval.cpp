#include "platform/TreeRemoval.h"

#include <QFile>
#include <QFileInfo>
#include <QList>

#include <cerrno>
#include <cstring>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Deeper than any tree extraction makes (it refuses names past 128 folders); a deeper one is
// not ours.
constexpr int kMaxDepth = 256;

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// The names in the folder, without "." and "..". Read whole before anything is removed, since
// removing while a listing is read may skip names.
bool listNames(int fd, QList<QByteArray> *names)
{
    const int listing = ::dup(fd);
    if (listing < 0)
        return false;
    DIR *dir = ::fdopendir(listing);
    if (!dir) {
        ::close(listing);
        return false;
    }
    ::rewinddir(dir);
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names->append(QByteArray(entry->d_name));
    }
    ::closedir(dir);
    return true;
}

bool removeIn(int folder, const QByteArray &name, int depth, QString *error)
{
    struct stat info {};
    if (::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return true;
        *error = QStringLiteral("cannot look at %1: %2").arg(QFile::decodeName(name), systemError(errno));
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        if (depth > kMaxDepth) {
            *error = QStringLiteral("%1 is nested too deep to remove").arg(QFile::decodeName(name));
            return false;
        }
        // A read-only folder of our own (a bundle may ship one) is emptied all the same: the
        // owner may give it the rights back, and it is about to go anyway. Root needs no rights,
        // and so never changes a mode through a name that could have become a link meanwhile.
        if (::geteuid() != 0 && info.st_uid == ::geteuid() && (info.st_mode & S_IRWXU) != S_IRWXU)
            (void)::fchmodat(folder, name.constData(), (info.st_mode & 07777) | S_IRWXU, 0);
        const int fd = ::openat(folder, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            *error = QStringLiteral("cannot open %1 without following a link: %2").arg(QFile::decodeName(name), systemError(errno));
            return false;
        }
        bool ok = true;
        // Again while anything is left: a name that appears meanwhile is taken too, a few times.
        for (int round = 0; ok && round < 4; ++round) {
            QList<QByteArray> names;
            ok = listNames(fd, &names);
            if (!ok)
                *error = QStringLiteral("cannot read %1: %2").arg(QFile::decodeName(name), systemError(errno));
            if (names.isEmpty())
                break;
            for (const QByteArray &inner : std::as_const(names)) {
                if (!(ok = removeIn(fd, inner, depth + 1, error)))
                    break;
            }
        }
        ::close(fd);
        if (!ok)
            return false;
    }
    if (::unlinkat(folder, name.constData(), S_ISDIR(info.st_mode) ? AT_REMOVEDIR : 0) != 0 && errno != ENOENT) {
        *error = QStringLiteral("cannot remove %1: %2").arg(QFile::decodeName(name), systemError(errno));
        return false;
    }
    return true;
}

}  // namespace

bool TreeRemoval::removeAt(int folder, const QByteArray &name, QString *error)
{
    QString ignored;
    if (!error)
        error = &ignored;
    if (name.isEmpty() || name == "." || name == ".." || name.contains('/')) {
        *error = QStringLiteral("\"%1\" is not one name inside a folder").arg(QFile::decodeName(name));
        return false;
    }
    return removeIn(folder, name, 0, error);
}

bool TreeRemoval::remove(const QString &path, QString *error)
{
    QString ignored;
    if (!error)
        error = &ignored;
    if (path.isEmpty())
        return true;
    const QFileInfo info(path);
    const int folder = ::open(QFile::encodeName(info.path()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        if (errno == ENOENT)
            return true;
        *error = QStringLiteral("cannot open %1: %2").arg(info.path(), systemError(errno));
        return false;
    }
    const bool removed = removeAt(folder, QFile::encodeName(info.fileName()), error);
    ::close(folder);
    return removed;
}

}  // namespace platform
