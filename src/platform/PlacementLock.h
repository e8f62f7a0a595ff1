#pragma once

#include <QString>

#include <chrono>

namespace platform {

// Root's lock on one installed bundle, held from the check of what is installed (its version, its
// identity) to the last change (the swap, the removal), so that two placements or a placement and
// a removal never interleave: a placement that passed its version check cannot swap in after a
// newer one did. It is a flock on a file in a folder only root can open ("/run/tiny-installer",
// mode 0700), one file per bundle path: no other account can hold it, so none can stall root, and
// the wait for it is bounded. The file goes when the lock is released.
class PlacementLock {
public:
    static constexpr std::chrono::milliseconds kDefaultWait{60 * 1000};

    // Takes the lock for the bundle at target (its path in the applications folder), waiting at
    // most wait for another holder. isHeld() tells; errorString() says why not.
    explicit PlacementLock(const QString &target, std::chrono::milliseconds wait = kDefaultWait);
    // The same in another root-only folder (tests).
    PlacementLock(const QString &folder, const QString &target, std::chrono::milliseconds wait);
    ~PlacementLock();
    PlacementLock(const PlacementLock &) = delete;
    PlacementLock &operator=(const PlacementLock &) = delete;

    bool isHeld() const { return fd_ >= 0; }
    QString errorString() const { return error_; }

    static QString defaultFolder();

private:
    bool acquire(int folder, const QByteArray &name, std::chrono::milliseconds wait);

    int folder_ = -1;
    int fd_ = -1;
    QByteArray name_;
    QString error_;
};

}  // namespace platform
