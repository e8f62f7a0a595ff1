#include "platform/DurableFiles.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

// Runs sync on a handle of folder opened without following a link.
template <typename Sync>
bool onFolder(const QString &folder, const char *what, Sync sync, QString *error)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const bool ok = fd >= 0 && sync(fd) == 0;
    const int reason = errno;
    if (fd >= 0)
        ::close(fd);
    if (!ok && error)
        *error = QStringLiteral("cannot %1 %2: %3").arg(QLatin1String(what), folder, QString::fromLocal8Bit(std::strerror(reason)));
    return ok;
}

}  // namespace

bool DurableFiles::syncFileSystemOf(const QString &path, QString *error)
{
    return onFolder(path, "flush the file system of", ::syncfs, error);
}

bool DurableFiles::syncFolder(const QString &folder, QString *error)
{
    return onFolder(folder, "flush", ::fsync, error);
}

}  // namespace platform
