#include "platform/ThreadWorkingFolder.h"

#include <QFile>

#ifdef __linux__
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>
#endif

namespace platform {

ThreadWorkingFolder::ThreadWorkingFolder(const QString &folder)
{
#ifdef __linux__
    // From here on this thread's working folder and umask are no longer the process's: changing
    // them cannot disturb another thread. There is no way back, which is harmless.
    if (::unshare(CLONE_FS) != 0)
        return;
    previous_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    active_ = ::chdir(QFile::encodeName(folder).constData()) == 0;
#else
    Q_UNUSED(folder);
#endif
}

ThreadWorkingFolder::~ThreadWorkingFolder()
{
#ifdef __linux__
    if (active_) {
        // Back where the process works; the root when that folder could not be opened, so a
        // thread of a pool never keeps a folder that is about to be moved or removed.
        if (previous_ < 0 || ::fchdir(previous_) != 0)
            (void)!::chdir("/");
    }
    if (previous_ >= 0)
        ::close(previous_);
#endif
}

}  // namespace platform
