#include "shell/AdminAlert.h"

#include "config/QSConfigProvider.h"
#include "platform/Localization.h"

#include <QMessageBox>
#include <QPushButton>

namespace shell {

AdminAlertTexts adminAlertTexts()
{
    AdminAlertTexts texts;
    texts.title = platform::localizedString("ContactAdminTitle");
    texts.message = platform::localizedString("ContactAdminMessage");
    texts.message.replace(QLatin1String("%@"), QSConfigProvider::getStringFromPlist(QStringLiteral("APP_NAME")));
    texts.button = platform::localizedString("MessageClose");
    return texts;
}

void showAdminAlert(const AdminAlertTexts &texts)
{
    QMessageBox alert;
    alert.setObjectName(QStringLiteral("adminAlert"));
    alert.setIcon(QMessageBox::Information);
    alert.setWindowFlag(Qt::WindowStaysOnTopHint);
    alert.setWindowTitle(texts.title);
    alert.setText(texts.title);
    alert.setInformativeText(texts.message);
    QPushButton *close = alert.addButton(texts.button, QMessageBox::AcceptRole);
    alert.setDefaultButton(close);
    alert.setEscapeButton(close);
    alert.exec();
}

}  // namespace shell
