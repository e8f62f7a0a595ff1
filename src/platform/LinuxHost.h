#pragma once
#include "platform/Host.h"

#include <QMutex>

namespace platform {

// The answers of a Linux desktop, in the text forms the installer's parsers expect.
class LinuxHost final : public Host {
public:
    QString homeDirectory() const override;
    QString loginName() const override;
    bool isSuperUser() const override;
    std::optional<QStringList> groupMembers(const QString &group) const override;
    QStringList administratorGroups() const override;

    std::optional<OsVersion> osVersion() const override;
    QString minimumOsVersion() const override;
    QString architectureDescription() const override;
    QString hardwareReport() const override;
    QString interfaceListing() const override;
    // The primary screen's size in points at the desktop's own scale: the window may draw the whole
    // process at a lower scale to fit (ScreenFit), which leaves the desktop's size on the screen
    // under this property.
    std::optional<QSize> mainScreenSize() const override;
    static constexpr char kDesktopPointSizeProperty[] = "tinyInstallerDesktopPointSize";
    FreeSpace freeSpace(const QString &path) const override;
    std::optional<unsigned> reachabilityFlags() const override;

    QStringList preferredLanguages() const override;
    QString countryCode() const override;
    bool isRightToLeft() const override;

    QString defaultApplicationsDirectory() const override;
    QString temporaryDirectory() const override;
    QString cachesDirectory() const override;
    QString platformWord(PlatformWord word) const override;

    bool openUrl(const QUrl &url) override;
    bool launchApplication(const QString &bundlePath, const QStringList &arguments, QString *error) override;

    // Parsers of the kernel's texts, public for tests.
    static std::optional<OsVersion> parseKernelRelease(const QString &release);
    static QString hardwareReportFromCpuInfo(const QString &cpuinfo);

private:
    mutable QMutex tempMutex_;
    mutable QString tempDir_;
};

}  // namespace platform
