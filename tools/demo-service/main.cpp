// demo-service: the maker's services for the installer's demo and tests, on 127.0.0.1 only.
// Prints "demo-service listening on http://127.0.0.1:<port>" once it accepts connections.

#include "DemoService.h"
#include "ServiceOptions.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("demo-service"));

    const demo::ParsedOptions parsed = demo::parseServiceOptions(
        QCoreApplication::arguments(), QStringLiteral(DEMO_DEFAULT_ARCHIVE),
        QStringLiteral(DEMO_DEFAULT_BUILD));
    switch (parsed.outcome) {
    case demo::ParsedOptions::Outcome::ShowHelp:
        std::fputs(qPrintable(parsed.message), stdout);
        return 0;
    case demo::ParsedOptions::Outcome::Invalid:
        std::fprintf(stderr, "demo-service: %s (see --help)\n", qPrintable(parsed.message));
        return 2;
    case demo::ParsedOptions::Outcome::Run:
        break;
    }

    const demo::ServiceOptions &options = parsed.options;
    if (!options.logDir.isEmpty() && !QDir().mkpath(options.logDir)) {
        std::fprintf(stderr, "demo-service: cannot create the log folder %s\n", qPrintable(options.logDir));
        return 2;
    }

    demo::DemoService service(options);
    QString error;
    if (!service.listen(&error)) {
        std::fprintf(stderr, "demo-service: %s\n", qPrintable(error));
        return 1;
    }
    // Tests and scripts wait for this line to learn the port.
    std::printf("demo-service listening on http://127.0.0.1:%u\n", static_cast<unsigned>(service.port()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}
