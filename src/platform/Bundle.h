#pragma once
// The main bundle: the information dictionary (Info.plist) of the installer itself, read with
// libplist from <X>.app/Contents/Info.plist when the executable sits in <X>.app/Contents/MacOS/,
// else from the copy embedded at build time.

#include <QString>
#include <QVariantMap>

#include <optional>

namespace platform {

class Bundle {
public:
    // The whole information dictionary; empty when none could be read (the reason goes to the
    // console once).
    static QVariantMap mainInfo();
    static QString bundleIdentifier();  // "CFBundleIdentifier"
    static QString shortVersion();      // "CFBundleShortVersionString"
    // "<X>.app" that holds the running executable, or empty when it runs outside a bundle.
    static QString mainBundlePath();

    // Reads an XML or binary property list whose top level is a dictionary.
    static std::optional<QVariantMap> readPropertyList(const QString &path, QString *error);
    // The same from bytes already in memory (at most 4 MiB); the reason of a failure, without
    // a file name, goes to *error.
    static std::optional<QVariantMap> parsePropertyList(const QByteArray &bytes, QString *error);
    // The information dictionary of the bundle at <bundlePath>/Contents/Info.plist.
    static std::optional<QVariantMap> infoOfBundleAt(const QString &bundlePath);

    // Test support: replace the main information dictionary (nullopt: read it again).
    static void setMainInfoForTesting(std::optional<QVariantMap> info);
};

}  // namespace platform
