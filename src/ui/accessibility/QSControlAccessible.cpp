#include "ui/accessibility/QSControlAccessible.h"

#include "ui/accessibility/QSAccessibility.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTextDocument>

QSControlAccessible::QSControlAccessible(QWidget *widget)
    : QSAccessibleWidget(widget, qobject_cast<QAbstractButton *>(widget) ? QAccessible::Button : QAccessible::StaticText)
{
}

bool QSControlAccessible::isButton() const
{
    return role() == QAccessible::Button;
}

QString QSControlAccessible::text(QAccessible::Text t) const
{
    if (t != QAccessible::Name || !widget()->accessibleName().isEmpty())
        return QAccessibleWidget::text(t);
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget()))
        return button->text().remove(QLatin1Char('&'));
    const auto *label = static_cast<const QLabel *>(widget());
    const QString shown = label->text();
    if (label->textFormat() == Qt::RichText || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(shown))) {
        QTextDocument document;
        document.setHtml(shown);
        return document.toPlainText();
    }
    return shown;
}


QAccessible::State QSControlAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    if (!isButton())
        state.focusable = false;
    return state;
}

QStringList QSControlAccessible::actionNames() const
{
    if (!isButton())
        return QAccessibleWidget::actionNames();
    return {pressAction(), setFocusAction()};
}

void QSControlAccessible::doAction(const QString &actionName)
{
    if (isButton() && actionName == pressAction()) {
        if (widget()->isEnabled())
            static_cast<QAbstractButton *>(widget())->click();
        return;
    }
    QAccessibleWidget::doAction(actionName);
}
