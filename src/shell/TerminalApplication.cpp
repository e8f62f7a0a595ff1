#include "shell/TerminalApplication.h"

#include "shell/ShellApplication.h"

namespace shell {

TerminalApplication::TerminalApplication(int &argc, char **argv)
    : QCoreApplication(argc, argv)
{
}

bool TerminalApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QCoreApplication::notify(receiver, event);
    } catch (...) {
        reportEventException(receiver, event);
        return false;
    }
}

}  // namespace shell
