#pragma once

#include <QString>

// Whether a folder looks like a product bundle that can be launched: Contents/Info.plist names a
// CFBundleExecutable, and Contents/MacOS/<that name> is a regular file with an execute bit.
class BundleShape {
public:
    [[nodiscard]] static bool check(const QString &bundlePath, QString *error);
    BundleShape() = delete;
};
