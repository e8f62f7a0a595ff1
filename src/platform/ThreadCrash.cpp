#include "platform/ThreadCrash.h"

#include <mutex>
#include <stdexcept>

namespace platform {
namespace {

std::mutex handlerMutex;
ThreadCrash::Handler installedHandler;

ThreadCrash::Handler currentHandler()
{
    const std::lock_guard lock(handlerMutex);
    return installedHandler;
}

}  // namespace

void ThreadCrash::setHandler(Handler handler)
{
    const std::lock_guard lock(handlerMutex);
    installedHandler = std::move(handler);
}

bool ThreadCrash::run(const QString &thread, const std::function<void()> &work)
{
    const Handler handler = currentHandler();
    if (!handler) {
        work();
        return true;
    }
    try {
        work();
        return true;
    } catch (...) {
        handler(std::current_exception(), thread);
        return false;
    }
}

void ThreadCrash::throwIfAskedForTests([[maybe_unused]] const char *place)
{
#ifdef TI_TEST_HOOKS
    if (qEnvironmentVariable("TINY_INSTALLER_TEST_THROW_ON") == QLatin1String(place))
        throw std::runtime_error(std::string("thrown on purpose by the test hook at ") + place);
#endif
}

}  // namespace platform
