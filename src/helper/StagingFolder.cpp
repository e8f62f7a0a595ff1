#include "StagingFolder.h"

#include "platform/PlacementLock.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kInfix[] = ".staging-";
constexpr int kRandomLength = 6;  // mkdtemp's XXXXXX

QString prefixFor(const QString &bundleName)
{
    return QLatin1Char('.') + bundleName + QLatin1String(kInfix);
}

int openFolder(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

int lockRetrying(int fd, int operation)
{
    int result;
    do {
        result = ::flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

QString targetOf(const QString &applications, const QString &bundleName)
{
    return applications + QLatin1Char('/') + bundleName;
}

void removeTree(const QString &path)
{
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(path).toStdString(), ignored);  // links are not followed
}

}  // namespace

StagingFolder::StagingFolder(const QString &applications, const QString &bundleName)
{
    const platform::PlacementLock making(targetOf(applications, bundleName));
    if (!making.isHeld()) {
        error_ = QStringLiteral("cannot make a staging folder in %1: %2").arg(applications, making.errorString());
        return;
    }
    QByteArray pattern = QFile::encodeName(applications + QLatin1Char('/') + prefixFor(bundleName)
                                           + QString(kRandomLength, QLatin1Char('X')));
    if (!::mkdtemp(pattern.data())) {  // mode 0700, owned by us (root)
        error_ = QStringLiteral("cannot make a staging folder in %1: %2").arg(applications, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    path_ = QFile::decodeName(pattern);
    lock_ = openFolder(path_);
    if (lock_ < 0 || lockRetrying(lock_, LOCK_EX | LOCK_NB) != 0) {
        error_ = QStringLiteral("cannot lock the staging folder %1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
        removeTree(path_);
        path_.clear();
    }
}

StagingFolder::~StagingFolder()
{
    if (!path_.isEmpty())
        removeTree(path_);
    if (lock_ >= 0)
        ::close(lock_);  // only now: a sweep must not take the folder while it is being removed
}

int StagingFolder::sweep(const QString &applications, const QString &bundleName)
{
    const platform::PlacementLock sweeping(targetOf(applications, bundleName));
    if (!sweeping.isHeld())
        return 0;
    const QString prefix = prefixFor(bundleName);
    int removed = 0;
    const QStringList names = QDir(applications).entryList({prefix + QLatin1Char('*')}, QDir::AllEntries | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (name.size() != prefix.size() + kRandomLength)
            continue;
        const QString path = applications + QLatin1Char('/') + name;
        struct stat info {};
        const int fd = openFolder(path);
        if (fd < 0)
            continue;
        // Ours only: a root-owned folder whose lock nobody holds any more.
        const bool stale = ::fstat(fd, &info) == 0 && info.st_uid == 0 && lockRetrying(fd, LOCK_EX | LOCK_NB) == 0;
        if (stale) {
            removeTree(path);
            ++removed;
        }
        ::close(fd);
    }
    return removed;
}
