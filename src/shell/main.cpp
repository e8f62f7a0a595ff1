// The installer's entry point: the application object, then the delegate's three stages.

#include "shell/AppDelegate.h"
#include "shell/CommandLine.h"
#include "shell/ExitStatus.h"
#include "shell/MainContent.h"
#include "shell/MainWindow.h"
#include "shell/ScreenFit.h"
#include "shell/ShellApplication.h"
#include "shell/TerminalMain.h"
#include "ui/QSFonts.h"
#include "ui/QSWholeWindowRepaint.h"
#include "ui/QSWindowEffects.h"

#include "platform/FontConfigurationWarmUp.h"
#include "platform/Localization.h"
#include "ui/accessibility/QSAccessibility.h"

#include <QNetworkProxyFactory>
#include <QScopeGuard>

#include <cstdio>

namespace {

QStringList rawArguments(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

}  // namespace

int main(int argc, char **argv)
{
    // Read before any application object: help, version and a usage error need no display and
    // write no run log.
    const shell::CommandLine commandLine = shell::CommandLine::parse(rawArguments(argc, argv));
    switch (commandLine.action) {
    case shell::CommandLine::Action::Help:
        print(stdout, shell::CommandLine::helpText());
        return shell::kExitPlaced;
    case shell::CommandLine::Action::Version:
        print(stdout, shell::CommandLine::versionText());
        return shell::kExitPlaced;
    case shell::CommandLine::Action::Usage:
        print(stderr, QStringLiteral("tiny-installer: %1\n%2").arg(commandLine.error, shell::CommandLine::usageText()));
        return shell::kExitUsage;
    case shell::CommandLine::Action::Run:
        break;
    }
    if (commandLine.unattended)
        return shell::runWithoutWindow(argc, argv, commandLine);

    platform::FontConfigurationWarmUp fontConfiguration;  // beside the start-up that follows
    shell::ShellApplication app(argc, argv);
    const std::jthread fonts = QSFonts::prepareInBackground();  // joined before the application object goes
    const auto fontConfigurationRead = qScopeGuard([&fontConfiguration] { fontConfiguration.finish(); });
    // The window's close and the delegate decide when the run ends, not the last closed window
    // (the administrator alert is one).
    QApplication::setQuitOnLastWindowClosed(false);
    // The desktop entry's name: Wayland compositors match the window's application id to it.
    QGuiApplication::setDesktopFileName(QStringLiteral("tiny-installer"));
    // Before the first window: on a screen too small for the window at its scale, a lower scale.
    shell::ScreenFit::apply(QGuiApplication::primaryScreen(),
                            shell::MainWindow::frameSizeFor(QSWindowEffects::translucencyAvailable()));
    // Drawn at a fraction of the window system's own scale, windows repaint whole (see the class).
    QSWholeWindowRepaint::install();
    platform::installTranslations(app);
    // Before the first window: screen readers see the installer's own widgets as what they are.
    QSAccessibility::install();
    // Every request takes the system's proxy: on Linux http_proxy, https_proxy and no_proxy from
    // the environment. A stub installer in a corporate network has no other way out. The
    // configuration, download, analytics and log upload ask per request (QSProxy); this covers
    // any other request, such as the carousel's images.
    QNetworkProxyFactory::setUseSystemConfiguration(true);

    shell::AppDelegate delegate;
    delegate.setContentFactory(shell::createMainContent);
    if (commandLine.remove) {
        // A removal's records are its own: its run sends "Remove", never the installation's "End".
        delegate.setContentFactory(shell::createRemovalContent);
        delegate.setSendsEndEvent(false);
    }

    if (!delegate.applicationWillFinishLaunching(QCoreApplication::arguments()))
        return 0;
    if (delegate.applicationDidFinishLaunching() == shell::AppDelegate::Launch::Exit)
        return delegate.exitStatus();
    return delegate.runUntilTerminated();
}
