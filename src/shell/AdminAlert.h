#pragma once
// The alert a user without administrator rights sees before the installer ends: one modal
// information alert with one button, kept above other windows.

#include <QString>

namespace shell {

struct AdminAlertTexts {
    QString title;    // "ContactAdminTitle"
    QString message;  // "ContactAdminMessage" with "%@" filled with the product name
    QString button;   // "MessageClose"
};

// The localised texts, with the bundle setting "APP_NAME" as the product name.
AdminAlertTexts adminAlertTexts();

// Shows the alert and returns once the user has answered it.
void showAdminAlert(const AdminAlertTexts &texts);

}  // namespace shell
