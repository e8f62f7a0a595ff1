#include "ui/accessibility/QSApplicationAccessible.h"

#include "config/QSConfigProvider.h"

QString QSApplicationAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name) {
        const QString product = QSConfigProvider::getStringFromPlist(QStringLiteral("APP_NAME"));
        if (!product.isEmpty())
            return product;
    }
    return QAccessibleApplication::text(t);
}
