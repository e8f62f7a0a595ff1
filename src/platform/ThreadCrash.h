#pragma once

#include <QString>

#include <exception>
#include <functional>

namespace platform {

// An exception that escapes the work of one of the installer's own threads (extraction,
// placement, the extraction that follows the download, background removals) ends the run in
// order, as one on the main thread does. The thread hands the exception to the handler that the
// shell installed and then ends normally: whoever waits for the thread (the end of the run waits
// for extraction and placement) is never stuck behind a thread that sleeps in a crash path.
class ThreadCrash {
public:
    // Called on the crashing thread, inside the catch, with the exception and the thread's name.
    using Handler = std::function<void(std::exception_ptr exception, const QString &thread)>;
    // Replaces the handler; an empty one lets exceptions go on to std::terminate.
    static void setHandler(Handler handler);

    // Runs work; anything it throws goes to the handler. True when work ended without throwing.
    static bool run(const QString &thread, const std::function<void()> &work);

    // Test builds only (TI_TEST_HOOKS): throws when TINY_INSTALLER_TEST_THROW_ON names this place,
    // so the tests can crash a thread of the real program. Does nothing in any other build.
    static void throwIfAskedForTests(const char *place);

    ThreadCrash() = delete;
};

}  // namespace platform
