#include "platform/RunningPrograms.h"

#include <QDir>
#include <QFile>

#include <climits>

#include <unistd.h>

namespace platform {

QList<pid_t> RunningPrograms::inFolder(const QString &folder)
{
    // The kernel's path of each executable; " (deleted)" follows it once its file is gone, which
    // still counts: the program runs on.
    const QByteArray prefix = QFile::encodeName(QDir::cleanPath(folder)) + '/';
    QList<pid_t> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const pid_t pid = pid_t(entry.toInt(&numeric));
        if (!numeric || pid == ::getpid())
            continue;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(QFile::encodeName(QStringLiteral("/proc/%1/exe").arg(entry)).constData(), target, sizeof target);
        if (length > 0 && QByteArray(target, length).startsWith(prefix))
            found.append(pid);
    }
    return found;
}

}  // namespace platform
