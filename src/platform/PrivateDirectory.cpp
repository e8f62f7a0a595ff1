#include "platform/PrivateDirectory.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool PrivateDirectory::isPrivate(const QString &path)
{
    struct stat info {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 0777) == 0700;
}

bool PrivateDirectory::ensure(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (::mkdir(encoded.constData(), 0700) == 0)
        ::chmod(encoded.constData(), 0700);  // the umask may have taken bits away; never adds any
    return isPrivate(path);
}

}  // namespace platform
