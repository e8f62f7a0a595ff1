#include "archive/ExtractionWriter.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace archives {
namespace {

constexpr mode_t kFolderMode = 0755;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

int retryOpenAt(int folder, const char *name, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = ::openat(folder, name, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void closeQuietly(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

}  // namespace

ExtractionWriter::ExtractionWriter(const QString &top)
{
    top_ = retryOpenAt(AT_FDCWD, QFile::encodeName(top).constData(), kFolderFlags);
    if (top_ < 0)
        error_ = QStringLiteral("cannot open %1: %2").arg(top, QString::fromLocal8Bit(std::strerror(errno)));
}

ExtractionWriter::~ExtractionWriter()
{
    closeQuietly(file_);
    closeFolders(0);
    closeQuietly(top_);
}

bool ExtractionWriter::fail(const QString &name, const QString &what)
{
    error_ = QStringLiteral("cannot write %1: %2").arg(name, what);
    return false;
}

bool ExtractionWriter::failErrno(const QString &name, int error)
{
    return fail(name, QString::fromLocal8Bit(std::strerror(error)));
}

QList<QByteArray> ExtractionWriter::components(const QString &name)
{
    QList<QByteArray> parts;
    for (const QByteArray &part : QFile::encodeName(name).split('/')) {
        if (!part.isEmpty() && part != ".")
            parts.append(part);
    }
    return parts;
}

void ExtractionWriter::closeFolders(qsizetype keep)
{
    while (chain_.size() > keep)
        closeQuietly(chain_.takeLast().fd);
}

int ExtractionWriter::folder(const QList<QByteArray> &parts, qsizetype count, const QString &name)
{
    // Archives list a folder's entries together: the open chain of the entry before usually
    // holds every folder this one needs.
    qsizetype same = 0;
    while (same < chain_.size() && same < count && chain_[same].name == parts[same])
        ++same;
    closeFolders(same);
    for (qsizetype i = same; i < count; ++i) {
        const int parent = i == 0 ? top_ : chain_[i - 1].fd;
        const char *part = parts[i].constData();
        int fd = retryOpenAt(parent, part, kFolderFlags);
        if (fd < 0 && errno == ENOENT) {
            if (::mkdirat(parent, part, kFolderMode) != 0 && errno != EEXIST) {
                failErrno(name, errno);
                return -1;
            }
            fd = retryOpenAt(parent, part, kFolderFlags);
            // The umask may have taken bits away.
            if (fd >= 0 && ::fchmod(fd, kFolderMode) != 0) {
                const int error = errno;
                closeQuietly(fd);
                failErrno(name, error);
                return -1;
            }
        }
        if (fd < 0) {
            if (errno == ELOOP || errno == ENOTDIR)
                fail(name, QStringLiteral("refused: %1 on its way is a link or a file")
                               .arg(QFile::decodeName(parts.mid(0, i + 1).join('/'))));
            else
                failErrno(name, errno);
            return -1;
        }
        chain_.append({parts[i], fd});
    }
    return count == 0 ? top_ : chain_[count - 1].fd;
}

int ExtractionWriter::parentFolder(const QString &name, QByteArray *leaf)
{
    const QList<QByteArray> parts = components(name);
    if (parts.isEmpty()) {
        fail(name, QStringLiteral("the name is empty"));
        return -1;
    }
    *leaf = parts.last();
    return folder(parts, parts.size() - 1, name);
}

bool ExtractionWriter::addFolder(const QString &name, mode_t mode, std::optional<timespec> modified)
{
    // Nothing left of the name ("./", which archives made with `bsdtar -cf app.zip .` start
    // with) is the top itself: it is there already and keeps its own mode.
    const QList<QByteArray> parts = components(name);
    if (parts.isEmpty())
        return true;
    const int fd = folder(parts, parts.size(), name);
    if (fd < 0)
        return false;
    if (::fchmod(fd, mode) != 0)
        return failErrno(name, errno);
    if (modified)
        folderTimes_.append({parts, *modified});
    return true;
}

bool ExtractionWriter::addLink(const QString &name, const QString &target, std::optional<timespec> modified)
{
    QByteArray leaf;
    const int parent = parentFolder(name, &leaf);
    if (parent < 0)
        return false;
    if (::symlinkat(QFile::encodeName(target).constData(), parent, leaf.constData()) != 0)
        return failErrno(name, errno);
    if (modified) {
        const timespec times[2] = {*modified, *modified};
        if (::utimensat(parent, leaf.constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
            return failErrno(name, errno);
    }
    return true;
}

bool ExtractionWriter::beginFile(const QString &name)
{
    QByteArray leaf;
    const int parent = parentFolder(name, &leaf);
    if (parent < 0)
        return false;
    // Private until whole: the file gets its mode when its last byte is written.
    file_ = retryOpenAt(parent, leaf.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (file_ < 0)
        return failErrno(name, errno);
    fileName_ = name;
    return true;
}

bool ExtractionWriter::write(const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t done = ::write(file_, data, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return failErrno(fileName_, done < 0 ? errno : EIO);
        data += done;
        size -= size_t(done);
    }
    return true;
}

bool ExtractionWriter::endFile(mode_t mode, std::optional<timespec> modified)
{
    const int fd = std::exchange(file_, -1);
    bool ok = ::fchmod(fd, mode) == 0 || failErrno(fileName_, errno);
    if (ok && modified) {
        const timespec times[2] = {*modified, *modified};
        ok = ::futimens(fd, times) == 0 || failErrno(fileName_, errno);
    }
    // A full disk can show itself only now, on some file systems.
    if (::close(fd) != 0 && ok && errno != EINTR)
        ok = failErrno(fileName_, errno);
    return ok;
}

bool ExtractionWriter::finish()
{
    for (const FolderTime &entry : std::as_const(folderTimes_)) {
        const QString name = QFile::decodeName(entry.parts.join('/'));
        const int fd = folder(entry.parts, entry.parts.size(), name);
        if (fd < 0)
            return false;
        const timespec times[2] = {entry.modified, entry.modified};
        if (::futimens(fd, times) != 0)
            return failErrno(name, errno);
    }
    folderTimes_.clear();
    closeFolders(0);
    return true;
}

}  // namespace archives
