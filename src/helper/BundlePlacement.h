#pragma once

#include "archive/PlacementProtocol.h"
#include "archive/PlacementSettings.h"
#include "ArchiveReceiver.h"

#include <QString>

#include <functional>

// The privileged placement, from the archive on a stream to the bundle in the applications
// folder. Everything is prepared in a staging folder of its own (mode 0700) inside the
// applications folder: the archive is received and its signature checked, extracted within the
// bounds of ArchiveLimits.h with modes normalised, its links resolved, the bundle's shape checked,
// its version compared with the installed one's and its owner set; then the file system is
// flushed, one rename swaps it with the old bundle, the applications folder is flushed, and the
// old one is removed with the staging folder. Until that rename nothing visible changes; after it
// the new bundle is complete, on disk too.
class BundlePlacement {
public:
    explicit BundlePlacement(archives::PlacementSettings settings) : settings_(std::move(settings)) {}

    // Where the progress lines of the protocol go (kVerifiedLine, the kStagingPrefix line), each
    // as soon as it is true. None by default.
    void setReporter(std::function<void(const QByteArray &line)> report) { report_ = std::move(report); }

    // Places the bundle from the request on input. Placed, or the failure and errorString().
    [[nodiscard]] archives::placement::Status run(int input);
    QString errorString() const { return error_; }
    QString targetPath() const;

    // Checks that the applications folder can be used (a folder, made if missing).
    [[nodiscard]] bool prepareApplicationsFolder(QString *error) const;

private:
    archives::placement::Status fail(archives::placement::Status status, const QString &message);
    void report(const QByteArray &line) const;
    archives::placement::Status placeFrom(const QString &staging, int input, ArchiveReceiver &receiver);
    bool swapInto(const QString &bundle, QString *error) const;

    archives::PlacementSettings settings_;
    std::function<void(const QByteArray &line)> report_;
    QString error_;
};
