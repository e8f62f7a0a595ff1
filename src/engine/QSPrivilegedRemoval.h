#pragma once
#include "telemetry/CoreGlobal.h"

#include "archive/BundleRemoval.h"

#include <QObject>
#include <QProcess>
#include <QStringList>

// The installer's side of the removal helper: started through pkexec under its own polkit action
// when the person may not write the applications folder. It asks nothing of the installer; its
// lines tell what it removed and what it left alone, its exit status how it ended.
class QSPrivilegedRemoval : public QObject {
    Q_OBJECT
public:
    explicit QSPrivilegedRemoval(QObject *parent = nullptr);
    // A removal under way runs to its end: the helper finishes it whatever happens to us.
    ~QSPrivilegedRemoval() override;

    // The helper beside the installer's own executable.
    static QString defaultHelperPath();
    // Starts the helper; finished() follows once.
    void start();

signals:
    // notAuthorised: pkexec refused (dismissed, not allowed, no agent). The report says what the
    // helper did; Failed with a reason when it could not run.
    void finished(bool notAuthorised, const archives::RemovalReport &report);

private:
    void helperEnded(int exitCode, QProcess::ExitStatus status);

    QString program_;
    QStringList arguments_;
    QProcess process_;
    bool done_ = false;
};
