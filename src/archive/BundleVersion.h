#pragma once

#include <QString>

namespace archives {

// A bundle's version from its own Info.plist: "CFBundleShortVersionString", then
// "CFBundleVersion" when the short versions are equal. Versions are compared component by
// component (split at ".") as numbers; a missing component or version counts as 0, and a
// component's text after its leading digits is ignored ("2rc1" is 2).
//
// Placement, in process and in the helper, never replaces a bundle with an older one: anything
// the maker ever signed could otherwise be replayed as a downgrade to a build with known holes.
// The maker rolls back by publishing the old build under a higher version.
struct BundleVersion {
    QString shortVersion;
    QString buildVersion;

    // The version of the bundle folder at bundlePath; empty texts when it has none.
    static BundleVersion ofBundle(const QString &bundlePath);
    // Negative, zero or positive as a is older than, as old as or newer than b.
    static int compare(const BundleVersion &a, const BundleVersion &b);
    static int compareText(const QString &a, const QString &b);
    // "9.0", "9.0 (1234)" with a build version, "none" without any.
    QString text() const;

    // Empty when the bundle at incomingPath may replace whatever is at installedPath (nothing, or
    // an older or equal version); otherwise the reason, naming both versions.
    static QString refusalToReplace(const QString &installedPath, const QString &incomingPath);
};

}  // namespace archives
