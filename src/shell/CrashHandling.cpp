#include "shell/CrashHandling.h"

#include "shell/ExitStatus.h"

#include "platform/Console.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <unistd.h>

namespace shell {
namespace {

std::mutex handlersMutex;
CrashHandlers installedHandlers;
std::terminate_handler previousTerminate = nullptr;
bool terminateInstalled = false;

CrashHandlers currentHandlers()
{
    std::lock_guard lock(handlersMutex);
    return installedHandlers;
}

[[noreturn]] void onTerminate()
{
    // A second terminate (from inside the handler, or from another thread meanwhile) must not
    // run the orderly exit again: end at once.
    static std::atomic<bool> entered{false};
    if (entered.exchange(true))
        ::_exit(kExitCrash);

    const CrashReport report = CrashReport::fromCurrentException();
    const CrashHandlers handlers = currentHandlers();
    if (handlers.onTerminate) {
        handlers.onTerminate(report);
    } else {
        writeCrashConsoleLines(report);
    }
    ::_exit(kExitCrash);
}

}  // namespace

void writeCrashConsoleLines(const CrashReport &report)
{
    platform::console(QStringLiteral("CRASH REASON: %1").arg(report.reason));
    platform::console(QStringLiteral("CRASH USER_INFO: %1").arg(report.userInfo));
}

void installCrashHandlers(CrashHandlers handlers)
{
    std::lock_guard lock(handlersMutex);
    installedHandlers = std::move(handlers);
    if (!terminateInstalled) {
        previousTerminate = std::set_terminate(onTerminate);
        terminateInstalled = true;
    }
}

void removeCrashHandlers()
{
    std::lock_guard lock(handlersMutex);
    installedHandlers = {};
    if (terminateInstalled) {
        std::set_terminate(previousTerminate);
        previousTerminate = nullptr;
        terminateInstalled = false;
    }
}

void handleEventException(const CrashReport &report)
{
    const CrashHandlers handlers = currentHandlers();
    if (handlers.onEventException) {
        handlers.onEventException(report);
        return;
    }
    // Before start-up has installed a handler there is no run to end in order yet; the console
    // gets the report and the event is dropped.
    writeCrashConsoleLines(report);
}

}  // namespace shell
