#pragma once
// The application object of a run without a window: no display is asked for and no windowing
// plugin is loaded. Like the window's, it hands an exception thrown while an event is handled to
// the crash handling.

#include <QCoreApplication>

namespace shell {

class TerminalApplication : public QCoreApplication {
    Q_OBJECT
public:
    TerminalApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};

}  // namespace shell
