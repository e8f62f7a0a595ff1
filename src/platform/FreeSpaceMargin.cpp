#include "platform/FreeSpaceMargin.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <sys/statvfs.h>

namespace platform {

bool FreeSpaceMargin::keepsMargin(const QString &path, quint64 bytes, quint64 inodes, QString *why)
{
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(path).constData(), &info) != 0) {
        *why = QStringLiteral("cannot read the free space of %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const quint64 freeBytes = quint64(info.f_bavail) * quint64(info.f_frsize);
    if (freeBytes < bytes || freeBytes - bytes < limits::kFreeMarginBytes) {
        *why = QStringLiteral("not enough space in %1: %2 bytes free, %3 more would leave less than the margin of %4")
                   .arg(path)
                   .arg(freeBytes)
                   .arg(bytes)
                   .arg(limits::kFreeMarginBytes);
        return false;
    }
    // Some file systems (btrfs) count no inodes and report none: nothing to keep there.
    const quint64 freeInodes = quint64(info.f_favail);
    if (info.f_files != 0 && (freeInodes < inodes || freeInodes - inodes < limits::kFreeMarginInodes)) {
        *why = QStringLiteral("not enough inodes in %1: %2 free, %3 more would leave less than the margin of %4")
                   .arg(path)
                   .arg(freeInodes)
                   .arg(inodes)
                   .arg(limits::kFreeMarginInodes);
        return false;
    }
    return true;
}

}  // namespace platform
