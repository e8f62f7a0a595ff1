#include "ui/accessibility/QSProgressAccessible.h"

#include "ui/accessibility/QSAccessibility.h"

#include "ui/widgets/QSProgressView.h"

#include <QtMath>

QSProgressAccessible::QSProgressAccessible(QSProgressView *bar)
    : QSAccessibleWidget(bar, QAccessible::ProgressBar)
{
}

int QSProgressAccessible::percent(float progress)
{
    return qBound(0, qRound(progress), 100);
}

QSProgressView *QSProgressAccessible::bar() const
{
    return static_cast<QSProgressView *>(widget());
}

QString QSProgressAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return QStringLiteral("%1%").arg(percent(bar()->progress()));
    return QAccessibleWidget::text(t);
}

void *QSProgressAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QVariant QSProgressAccessible::currentValue() const
{
    return percent(bar()->progress());
}

