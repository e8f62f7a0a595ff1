#pragma once
// Names of the in-process notifications that the screens post and observe.

#include <QString>

namespace QSNotificationNames {

inline const QString kHideAlert = QStringLiteral("HIDE_ALERT");
inline const QString kQuitInstallation = QStringLiteral("QUIT_INSTALLATION");
inline const QString kStartInstallation = QStringLiteral("START_INSTALLATION");
inline const QString kShowContactSupportButton = QStringLiteral("SHOW_CONTACT_SUPPORT_BUTTON");
inline const QString kOpenPrivacyPolicyLink = QStringLiteral("OPEN_PRIVACY_POLICY_LINK");
inline const QString kOpenEula = QStringLiteral("OPEN_EULA");

// Key of the object that the quit confirmation's affirmative button sends.
inline const QString kIsUserAction = QStringLiteral("isUserAction");

}  // namespace QSNotificationNames
