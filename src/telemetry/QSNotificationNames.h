#pragma once
// Names of the in-process notifications, shared by whoever posts and whoever observes them (the
// configuration loader, the analytics sender, the flow, the screens and the shell), and the keys
// of the notification objects.

#include <QString>

namespace QSNotificationNames {

inline const QString kHideAlert = QStringLiteral("HIDE_ALERT");
inline const QString kQuitInstallation = QStringLiteral("QUIT_INSTALLATION");
inline const QString kStartInstallation = QStringLiteral("START_INSTALLATION");
inline const QString kShowContactSupportButton = QStringLiteral("SHOW_CONTACT_SUPPORT_BUTTON");
inline const QString kOpenPrivacyPolicyLink = QStringLiteral("OPEN_PRIVACY_POLICY_LINK");
inline const QString kOpenEula = QStringLiteral("OPEN_EULA");
inline const QString kShowCrashInfoDialog = QStringLiteral("SHOW_CRASH_INFO_DIALOG");
inline const QString kLogAnalytics = QStringLiteral("LOG_ANALYTICS");
inline const QString kChangeAnalyticsUrl = QStringLiteral("CHANGE_ANALYTICS_URL");
inline const QString kChangeLogUploadUrl = QStringLiteral("CHANGE_LOGUPLOAD_URL");

// Key of the object that the quit confirmation's affirmative button sends.
inline const QString kIsUserAction = QStringLiteral("isUserAction");
// Key of the object of the crash-info commands.
inline const QString kWithOverlay = QStringLiteral("withOverlay");

}  // namespace QSNotificationNames
