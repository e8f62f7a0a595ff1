#pragma once

#include <QList>
#include <QString>

#include <sys/types.h>

namespace platform {

// The processes whose executable lies inside a folder: a product that is running from its bundle.
// Only the processes whose executable this account may look at are seen (its own, or all of them
// as root), which is what a person who is asked to quit them can act on.
class RunningPrograms {
public:
    static QList<pid_t> inFolder(const QString &folder);

    RunningPrograms() = delete;
};

}  // namespace platform
