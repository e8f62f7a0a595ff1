#pragma once

#include <QString>

// The helper's private staging folder inside the applications folder,
// ".<bundle name>.staging-XXXXXX" (mode 0700, root's), where the archive is received and
// extracted and where the old bundle lands after the swap. It is removed with everything in it
// when the placement ends, however it ends.
//
// A helper that was killed cannot remove its folder, so every helper first sweeps the staging
// folders whose helper is gone. The living helper holds an exclusive lock (flock) on its folder
// for as long as it runs, which tells the two apart: the kernel drops the lock with the process.
// The placement lock of the bundle (root's alone), held from making the folder until it is locked
// and while sweeping, keeps a sweep from taking a folder in that moment. Nothing is locked on the
// applications folder itself: every account can open it, and a lock there could stall root.
class StagingFolder {
public:
    StagingFolder(const QString &applications, const QString &bundleName);
    ~StagingFolder();
    StagingFolder(const StagingFolder &) = delete;
    StagingFolder &operator=(const StagingFolder &) = delete;

    // Empty when the folder could not be made; error() says why.
    QString path() const { return path_; }
    QString error() const { return error_; }

    // Removes the staging folders of bundleName in applications that no living helper holds.
    // Returns how many it removed.
    static int sweep(const QString &applications, const QString &bundleName);

private:
    QString path_;
    QString error_;
    int lock_ = -1;  // the open folder whose flock marks it as in use
};
