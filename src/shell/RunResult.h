#pragma once
// What a run without a window ended with: the exit status, the word and sentence that tell it,
// and what it was about. The installation and the removal both end with one.

#include "shell/ExitStatus.h"

#include <QJsonObject>
#include <QString>

namespace shell {

struct RunResult {
    int status = kExitPlaced;
    QString outcome;     // one word for scripts: "placed", "already_installed", "download_failed", ...
    QString message;     // one sentence for people, the installer's own message on a failure
    QString product;     // "Corvala"
    QString version;     // of the build placed, found or removed; empty when not known
    QString path;        // where the bundle is (or was) placed
    double seconds = 0;  // from the start of the run to its end
    QString logPath;     // the run log (gone once its upload was accepted)

    // The last line on standard output: the message, or with --json one compact JSON object.
    QString line(bool json) const;
    QJsonObject toJson() const;
};

}  // namespace shell
