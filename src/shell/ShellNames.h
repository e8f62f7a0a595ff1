#pragma once
// Names the shell shares with the rest of the installer: notifications it observes or posts, and
// the messages of its run-log records that tests look for.

#include <QString>

namespace shell {

// Notifications observed by the shell
inline const QString kLogAnalytics = QStringLiteral("LOG_ANALYTICS");
inline const QString kChangeAnalyticsUrl = QStringLiteral("CHANGE_ANALYTICS_URL");
inline const QString kChangeLogUploadUrl = QStringLiteral("CHANGE_LOGUPLOAD_URL");

// Notifications posted for command URLs
inline const QString kShowCrashInfoDialog = QStringLiteral("SHOW_CRASH_INFO_DIALOG");
inline const QString kOpenPrivacyPolicyLink = QStringLiteral("OPEN_PRIVACY_POLICY_LINK");
inline const QString kOpenEula = QStringLiteral("OPEN_EULA");
inline const QString kWithOverlay = QStringLiteral("withOverlay");

// Run-log messages
inline const QString kNonAdminExiting = QStringLiteral("Non-admin user launched Mirolan TI, exiting");
inline const QString kStartedFromAdmin = QStringLiteral("Tiny Installer started from admin account");
inline const QString kInstallerEnd = QStringLiteral("Tiny Installer end");
inline const QString kLogUploadUrlNotAvailable = QStringLiteral("Log Upload URL is not available");

// The second cache folder: fixed, in the maker's namespace.
inline const QString kSoftwareInstallerCacheId = QStringLiteral("com.brightmoor.softwareInstaller");

// Exit status of a run that ended through the crash handler.
inline constexpr int kCrashExitStatus = 70;  // EX_SOFTWARE

}  // namespace shell
