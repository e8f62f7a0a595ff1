#pragma once

#include <QString>

namespace archives {

// What a bundle must be before it is placed, by the installer itself and by the privileged helper
// alike: the rule is one, so the two paths can never place different things.
class BundleShape {
public:
    // Whether a folder looks like a product bundle that can be launched: Contents/Info.plist names
    // a CFBundleExecutable, and Contents/MacOS/<that name> is a regular file with an execute bit.
    [[nodiscard]] static bool check(const QString &bundlePath, QString *error);

    // The whole rule for a bundle about to leave its extraction folder: a real folder (not a
    // link), every link in it resolving inside the bundle itself (not merely inside the folder it
    // was extracted to, which would let it point at a sibling in the applications folder), and
    // the shape above.
    [[nodiscard]] static bool checkBeforePlacing(const QString &bundlePath, QString *error);

    BundleShape() = delete;
};

}  // namespace archives
