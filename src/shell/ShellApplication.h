#pragma once
// The application object. It catches any exception thrown while an event is handled (Qt code
// must never be unwound by one) and hands it to the crash handler, which ends the run in order.

#include <QApplication>

namespace shell {

// Hands the exception being caught while receiver handled event to the crash handling, which
// ends the run in order. Shared by both application objects.
void reportEventException(const QObject *receiver, const QEvent *event);

class ShellApplication : public QApplication {
    Q_OBJECT
public:
    ShellApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};

}  // namespace shell
