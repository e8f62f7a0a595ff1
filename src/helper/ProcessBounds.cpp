#include "ProcessBounds.h"

#include <csignal>

#include <sys/resource.h>

namespace {

struct Limit {
    int resource;
    const char *name;
    rlim_t atLeast;  // RLIM_INFINITY: no limit at all
};

// Nothing the helper does needs a bound of the caller's: files and memory grow with the product,
// and the folders of an entry each hold a handle while it is written.
constexpr Limit kLimits[] = {
    {RLIMIT_FSIZE, "file size", RLIM_INFINITY},
    {RLIMIT_CPU, "processor time", RLIM_INFINITY},
    {RLIMIT_AS, "address space", RLIM_INFINITY},
    {RLIMIT_DATA, "data size", RLIM_INFINITY},
    {RLIMIT_STACK, "stack size", rlim_t(8) << 20},
    {RLIMIT_NOFILE, "open files", 1024},
};

// As far as this process may: without CAP_SYS_RESOURCE (some containers drop it even for root)
// a hard limit cannot be raised, and the soft one goes up to it; a write past it then fails
// with EFBIG, which the placement reports and cleans up after.
void raise(const Limit &limit)
{
    struct rlimit current {};
    if (::getrlimit(limit.resource, &current) != 0)
        return;  // unknown to this kernel
    const auto enough = [&](rlim_t value) {
        return value == RLIM_INFINITY || (limit.atLeast != RLIM_INFINITY && value >= limit.atLeast);
    };
    struct rlimit wanted = current;
    if (!enough(wanted.rlim_max))
        wanted.rlim_max = limit.atLeast;
    if (!enough(wanted.rlim_cur))
        wanted.rlim_cur = limit.atLeast;
    if (wanted.rlim_cur == current.rlim_cur && wanted.rlim_max == current.rlim_max)
        return;
    if (::setrlimit(limit.resource, &wanted) != 0) {
        current.rlim_cur = current.rlim_max;
        ::setrlimit(limit.resource, &current);
    }
}

}  // namespace

void ProcessBounds::reset()
{
    // Handlers do not survive exec; an ignored signal does, and goes back to its default.
    for (int number = 1; number < NSIG; ++number) {
        struct sigaction action {};
        if (::sigaction(number, nullptr, &action) == 0 && action.sa_handler == SIG_IGN)
            std::signal(number, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // A write past a limit or to a closed pipe fails with an error the placement handles; the
    // installer going away (its terminal closing) must not stop a placement half way.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    for (const Limit &limit : kLimits)
        raise(limit);
}
