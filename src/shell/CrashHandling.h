#pragma once
// The process's two crash entry points and where they lead:
//  - an exception thrown while an event is handled is caught by ShellApplication::notify and
//    handed to the event-exception handler (the loop goes on until that handler ends it);
//  - anything that reaches std::terminate goes to the terminate handler, which must not return.
// Both are installed once start-up begins; before that an exception only reaches the console.

#include "shell/CrashReport.h"

#include <functional>

namespace shell {

struct CrashHandlers {
    std::function<void(const CrashReport &)> onEventException;
    // Must end the process; if it returns, the process ends with kExitCrash.
    std::function<void(const CrashReport &)> onTerminate;
};

// Installs the handlers and std::set_terminate; replaces any installed before.
void installCrashHandlers(CrashHandlers handlers);
// Forgets the handlers and restores the previous terminate handler.
void removeCrashHandlers();

// Called by ShellApplication::notify with the exception it caught.
void handleEventException(const CrashReport &report);

// The console lines every crash path writes first: "CRASH REASON: %@", "CRASH USER_INFO: %@".
void writeCrashConsoleLines(const CrashReport &report);

}  // namespace shell
