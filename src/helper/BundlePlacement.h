#pragma once

#include "ArchiveReceiver.h"
#include "platform/PlacementProtocol.h"
#include "platform/PlacementSettings.h"

#include <QString>

// The privileged placement, from the archive on a stream to the bundle in the applications
// folder. Everything is prepared in a staging folder of its own (mode 0700) inside the
// applications folder: the archive is received, extracted with modes normalised, its links
// resolved, the bundle's shape checked and its owner set; then one rename swaps it with the old
// bundle and the old one is removed with the staging folder. Until that rename nothing visible
// changes; after it the new bundle is complete.
class BundlePlacement {
public:
    explicit BundlePlacement(platform::PlacementSettings settings) : settings_(std::move(settings)) {}

    // Places the bundle from the request on input. Placed, or the failure and errorString().
    [[nodiscard]] platform::placement::Status run(int input);
    QString errorString() const { return error_; }
    QString targetPath() const;

    // Checks that the applications folder can be used (a folder, made if missing).
    [[nodiscard]] bool prepareApplicationsFolder(QString *error) const;

private:
    platform::placement::Status fail(platform::placement::Status status, const QString &message);
    platform::placement::Status placeFrom(const QString &staging, int input, ArchiveReceiver &receiver);
    bool swapInto(const QString &bundle, QString *error) const;

    platform::PlacementSettings settings_;
    QString error_;
};
