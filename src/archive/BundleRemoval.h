#pragma once

#include "archive/PlacementSettings.h"

#include <QList>
#include <QString>

namespace archives {

// What one removal did: each thing it took away, each thing it found and left alone (with why).
struct RemovalReport {
    enum class Outcome {
        Removed,          // the bundle or the menu entry was ours and is gone
        NothingToRemove,  // neither was there
        Refused,          // what stands at the bundle's place is not ours: nothing was changed
        Failed,           // something of ours could not be removed; the reason says what is left
    };
    struct Kept {
        QString path;
        QString reason;
    };

    Outcome outcome = Outcome::NothingToRemove;
    QStringList removed;
    QList<Kept> kept;
    QString error;  // with Failed (and with Refused, the first reason)
};

// Removes exactly what the installer placed in the applications folder and the menu folder of the
// settings: the bundle of the configured name when it is a real folder carrying the configured
// product identifier, and the menu entry the installer marked as written for that bundle.
// Everything else found there is left alone and named in the report.
//
// Everything goes through folder handles and follows no link. The bundle is first moved aside with
// one rename to a hidden name (".<bundle>.removing-XXXXXX") and only then deleted, so a removal
// that is killed half way leaves either the whole bundle or none at its name; the next removal
// deletes what a killed one moved aside before it does anything else.
class BundleRemoval {
public:
    explicit BundleRemoval(PlacementSettings settings) : settings_(std::move(settings)) {}

    RemovalReport run();

    // The hidden names a removal moves a bundle aside to start with this.
    static QString asidePrefixFor(const QString &bundleName);

private:
    RemovalReport::Outcome checkBundle(int applications, RemovalReport *report) const;
    bool removeBundle(int applications, RemovalReport *report) const;
    void removeMenuEntry(RemovalReport *report) const;
    void sweepAside(int applications) const;
    QString bundlePath() const;

    PlacementSettings settings_;
};

}  // namespace archives
