#pragma once
// The installer's command line, read once before anything else starts (no application object, no
// display): what the person or the administrator's script asked for.

#include <QString>
#include <QStringList>

namespace shell {

struct CommandLine {
    enum class Action {
        Run,      // the window, or with --unattended the terminal
        Help,     // print helpText() on standard output, exit 0
        Version,  // print versionText() on standard output, exit 0
        Usage,    // print error and usageText() on standard error, exit 64
    };

    Action action = Action::Run;
    bool unattended = false;     // --unattended: no window, Install taken as pressed
    bool acceptLicense = false;  // --accept-license: the licence and privacy statement accepted
    bool json = false;           // --json: the last line is one JSON object
    bool remove = false;         // --remove: remove what the installer placed
    QString error;               // with Usage: what was wrong, one line

    // arguments[0] is the program. Everything the installer knew before (command URLs, the drive
    // marker, --installSilent, --updateSilent) is accepted as it was and read where it always was.
    static CommandLine parse(const QStringList &arguments);

    static QString helpText();
    static QString versionText();
    static QString usageText();  // the short hint after a usage error
};

}  // namespace shell
