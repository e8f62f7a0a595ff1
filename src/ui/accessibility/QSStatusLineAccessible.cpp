#include "ui/accessibility/QSStatusLineAccessible.h"

#include "ui/accessibility/QSAccessibility.h"

#include "ui/widgets/QSStatusLine.h"

QSStatusLineAccessible::QSStatusLineAccessible(QSStatusLine *line)
    : QSAccessibleWidget(line, QAccessible::StatusBar)
{
}

QString QSStatusLineAccessible::status() const
{
    return static_cast<QSStatusLine *>(widget())->spokenText();
}

QString QSStatusLineAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name || t == QAccessible::Value)
        return status();
    return QAccessibleWidget::text(t);
}

void *QSStatusLineAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

void QSStatusLineAccessible::selection(int, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
}

QString QSStatusLineAccessible::text(int startOffset, int endOffset) const
{
    const QString whole = status();
    if (endOffset < 0 || endOffset > whole.size())
        endOffset = int(whole.size());
    startOffset = qBound(0, startOffset, endOffset);
    return whole.mid(startOffset, endOffset - startOffset);
}

int QSStatusLineAccessible::characterCount() const
{
    return int(status().size());
}

QString QSStatusLineAccessible::attributes(int, int *startOffset, int *endOffset) const
{
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

