#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

// The helper's own information dictionary: <bundle>/Contents/Info.plist beside the helper's
// executable in <bundle>/Contents/MacOS/. The helper runs as root on behalf of someone else, so the
// file is used only when it and every folder above it belong to root and nobody else may change
// them (a root-owned folder with the sticky bit, such as /tmp, counts as unchangeable).
class TrustedInfo {
public:
    // The applications folder when the trusted Info.plist names none.
    static constexpr char kDefaultApplications[] = "/opt";

    // nullopt with a reason when the dictionary cannot be found, read or trusted.
    static std::optional<QVariantMap> load(QString *error);

    // The installer beside the helper: the executable that the trusted Info.plist names
    // (CFBundleExecutable) in the helper's own folder; empty when it names none.
    static QString installerExecutable(const QVariantMap &info);
    // The Info.plist of the bundle whose executable is at executablePath.
    static QString infoPathFor(const QString &executablePath);
    // Whether path and every folder above it are owned by root and writable by nobody else.
    static bool isRootControlled(const QString &path, QString *error);

    TrustedInfo() = delete;
};
