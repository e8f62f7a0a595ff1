#pragma once

#include <QString>

// What the helper inherits from whoever started it through pkexec and could cut its work short:
// resource limits (`ulimit -f` would kill it with SIGXFSZ half way through writing a bundle and
// leave the pieces in the applications folder) and signal dispositions (an ignored SIGTERM, a
// blocked signal mask). The helper sets all of them to its own values before it does anything.
class ProcessBounds {
public:
    // Raises the limits to what root may have, gives every signal its default action and
    // unblocks them, then ignores SIGPIPE, SIGHUP and SIGXFSZ: a failed write ends the placement
    // through its error path, which removes what it wrote. False, with why, when a limit cannot
    // be set.
    [[nodiscard]] static bool reset(QString *why);

    ProcessBounds() = delete;
};
