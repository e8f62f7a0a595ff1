#pragma once

#include <QString>

namespace platform {

// Gives the calling thread a working folder of its own for as long as it lives, and puts the old
// one back afterwards. Extraction works with names relative to its top folder then: libarchive
// checks every folder on an entry's way for links, and the kernel walks every component of a
// name on every call, so a deep absolute staging path costs more than the files themselves when
// an archive holds thousands of small ones. Only Linux lets one thread change its working folder
// alone (unshare(CLONE_FS)); elsewhere isActive() is false and callers keep absolute names. The
// thread's umask becomes its own as well, so libarchive's brief umask changes no longer reach
// files that other threads create at the same moment.
class ThreadWorkingFolder {
public:
    explicit ThreadWorkingFolder(const QString &folder);
    ~ThreadWorkingFolder();
    ThreadWorkingFolder(const ThreadWorkingFolder &) = delete;
    ThreadWorkingFolder &operator=(const ThreadWorkingFolder &) = delete;

    bool isActive() const { return active_; }

private:
    int previous_ = -1;  // the folder to return to
    bool active_ = false;
};

}  // namespace platform
