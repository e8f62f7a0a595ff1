#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

namespace archives {

// Where a bundle is placed and what it is called, read from an information dictionary: the
// applications folder ("kQSApplicationsDirectory" inside "QSConfig", else the system default)
// and the bundle name of the environment chosen by "QSEnv".
struct PlacementSettings {
    QString applicationsDirectory;
    QString bundleName;
    QString archivePublicKey;  // "kQSArchivePublicKey" inside "QSConfig"; empty when absent
    QString productName;       // "APP_NAME" inside "QSConfig": the menu entry's name when the bundle has none
    QString productBundleIdentifier;  // "kQSProductBundleIdentifier" inside "QSConfig": the CFBundleIdentifier
                                      // a bundle must carry to be removed as the product; empty when absent
    QString installerExecutable;      // the installer that the menu entry's "Remove" action starts; empty: none
    QString menuFolder;        // where the product's menu entry goes ("kQSApplicationsMenuDirectory", else the
                               // system-wide folder); empty: none
    qint64 maxArchiveBytes = 0; // "kQSMaximumArchiveBytes" inside "QSConfig", else limits::kDefaultMaxArchiveBytes

    // Where the bundle stands: the applications folder and the bundle's name.
    QString bundlePath() const { return applicationsDirectory + QLatin1Char('/') + bundleName; }

    // nullopt with a reason when the dictionary names no usable folder or bundle name.
    static std::optional<PlacementSettings> fromInfo(const QVariantMap &info, const QString &defaultApplications,
                                                     QString *error);
    // One entry inside a folder: not empty, no "/", not "." or "..".
    static bool isPlainName(const QString &name);
};

}  // namespace archives
