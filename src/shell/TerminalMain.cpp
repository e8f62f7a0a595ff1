#include "shell/TerminalMain.h"

#include "shell/AppDelegate.h"
#include "shell/CommandLine.h"
#include "shell/ExitStatus.h"
#include "shell/RunReporter.h"
#include "shell/TerminalApplication.h"
#include "shell/UnattendedRemoval.h"
#include "shell/UnattendedRun.h"

#include "engine/QSFlowTexts.h"
#include "platform/Console.h"
#include "platform/Localization.h"
#include "ui/QSLinkTexts.h"

#include <QFile>
#include <QNetworkProxyFactory>

#include <cstdio>
#include <optional>
#include <unistd.h>

namespace shell {
namespace {

void printError(const QString &text)
{
    std::fputs(QStringLiteral("tiny-installer: %1\n").arg(text).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

}  // namespace

int runWithoutWindow(int &argc, char **argv, const CommandLine &commandLine)
{
    // Before anything is written or asked for: nobody has seen the licence sentence of the window.
    // A removal accepts nothing: it only takes away what an accepted installation placed.
    if (!commandLine.acceptLicense && !commandLine.remove) {
        printError(QStringLiteral("installing %1 without a window needs --accept-license: it accepts the licence "
                                  "agreement (%2) and the privacy statement (%3). Read them, then run again with "
                                  "--unattended --accept-license.")
                       .arg(flowtext::kProductName, QSLinks::termsOfService().toString(), QSLinks::privacyStatement().toString()));
        return kExitLicenseNotAccepted;
    }

    TerminalApplication app(argc, argv);
    platform::installTranslations(app);
    // As in the window: every request takes the system's proxy (http_proxy, https_proxy, no_proxy).
    QNetworkProxyFactory::setUseSystemConfiguration(true);

    QFile progress, result;
    (void)progress.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    (void)result.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    const RunReporter::Style style = RunReporter::styleFor(STDERR_FILENO);
    RunReporter reporter(progress, style, result);

    AppDelegate delegate;
    const auto terminate = [&delegate](int status) { delegate.requestTermination(status); };
    std::optional<UnattendedRun> run;
    std::optional<UnattendedRemoval> removal;
    if (commandLine.remove) {
        // A removal's records are its own: "Remove", never the installation's "End".
        removal.emplace(reporter, terminate);
        delegate.setSendsEndEvent(false);
        delegate.setUnattended([&removal] { removal->start(); });
    } else {
        run.emplace(reporter, terminate);
        delegate.setUnattended([&run] { run->start(QCoreApplication::arguments()); });
    }

    if (!delegate.applicationWillFinishLaunching(QCoreApplication::arguments())) {
        printError(QStringLiteral("another installer runs for this person; this one installs nothing."));
        return kExitAlreadyRunning;
    }
    if (delegate.applicationDidFinishLaunching() == AppDelegate::Launch::Exit)
        return delegate.exitStatus();
    // On a terminal the installer's console lines go above the progress line, not into it.
    if (style == RunReporter::Style::Rewriting)
        platform::setConsoleSink([&reporter](const QString &line) { reporter.note(line); });
    const int status = delegate.runUntilTerminated();
    platform::setConsoleSink(nullptr);
    reporter.finish(removal ? removal->result(status) : run->result(status), commandLine.json);
    return status;
}

}  // namespace shell
