#pragma once

// What the helper inherits from whoever started it through pkexec and could cut its work short:
// resource limits (`ulimit -f` would kill it with SIGXFSZ half way through writing a bundle and
// leave the pieces in the applications folder) and signal dispositions (an ignored SIGTERM, a
// blocked signal mask). The helper sets all of them to its own values before it does anything.
class ProcessBounds {
public:
    // Raises the limits as far as root may (where the hard limit itself cannot be raised, the
    // soft one goes up to it), gives every ignored signal its default action and unblocks all, then
    // ignores SIGPIPE, SIGHUP and SIGXFSZ: a write past a limit that stays fails, and the
    // placement's error path removes what it wrote.
    static void reset();

    ProcessBounds() = delete;
};
