#pragma once
// How an installation without a window ended, told from what the flow asked its screens to show:
// the exit status and word a script judges, and the sentence a person reads.

#include "shell/ExitStatus.h"

#include <QString>

struct QSInfoAlert;

namespace shell {

struct InstallOutcome {
    int status = kExitPlaced;
    QString outcome;  // the word of RunResult::outcome
    QString message;  // %1 stands for the product, %2 for the applications folder

    // The blocking screens: already installed, system too old, not enough space, no network.
    static InstallOutcome fromAlert(const QSInfoAlert &alert);
    // The installation-failed screen for the reason of its "Install" FAIL event; signatureRefused
    // when the archive's signature did not hold (the screen then says "Download Error" as well).
    static InstallOutcome fromFailure(const QString &reason, bool signatureRefused);
    static InstallOutcome placed();
    // Ended by a signal (128 + its number) or by the crash handling (70).
    static InstallOutcome fromEndingStatus(int status);

    // The sentence with the product and the folder filled in.
    QString sentence(const QString &product, const QString &applications) const;
};

}  // namespace shell
