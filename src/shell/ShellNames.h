#pragma once
// Names of the shell: the messages of its run-log records that tests look for, and its constants.
// Notification names are in telemetry/QSNotificationNames.h.

#include <QString>

namespace shell {

// Run-log messages
inline const QString kNonAdminExiting = QStringLiteral("Non-admin user launched Mirolan TI, exiting");
inline const QString kStartedFromAdmin = QStringLiteral("Tiny Installer started from admin account");
inline const QString kInstallerEnd = QStringLiteral("Tiny Installer end");
inline const QString kLogUploadUrlNotAvailable = QStringLiteral("Log Upload URL is not available");

// The second cache folder: fixed, in the maker's namespace.
inline const QString kSoftwareInstallerCacheId = QStringLiteral("com.brightmoor.softwareInstaller");

}  // namespace shell
