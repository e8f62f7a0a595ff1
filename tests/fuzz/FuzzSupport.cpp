#include "FuzzSupport.h"

#include "FakeHost.h"
#include "platform/Console.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

void setUp()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    static FakeHost host;
    // The run log goes under the home folder: here it can never be created, so parsers that
    // write records on the way cost a failed mkdir, not a growing file.
    host.home = QStringLiteral("/dev/null");
    host.temporary = QStringLiteral("/dev/null");
    platform::setConsoleSink([](const QString &) {});
}

void fail(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "FUZZ_CHECK failed: %s at %s:%d\n", what, file, line);
    std::abort();
}

}  // namespace fuzz
