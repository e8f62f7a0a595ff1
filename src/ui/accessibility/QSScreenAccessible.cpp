#include "ui/accessibility/QSScreenAccessible.h"

#include "ui/accessibility/QSAccessibility.h"

#include <QGridLayout>
#include <QLayout>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace {

void collect(const QLayout *layout, const QWidget *owner, QList<QWidget *> &into)
{
    QList<int> order;
    for (int i = 0; i < layout->count(); ++i)
        order.append(i);
    // A grid keeps its items in the order they were added: read it row by row.
    if (const auto *grid = qobject_cast<const QGridLayout *>(layout)) {
        const auto position = [grid](int index) {
            int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
            grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
            return std::pair(row, column);
        };
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return position(a) < position(b); });
    }
    for (const int index : order) {
        QLayoutItem *item = layout->itemAt(index);
        if (QWidget *widget = item->widget()) {
            if (widget->parentWidget() == owner && !into.contains(widget))
                into.append(widget);
        } else if (const QLayout *inner = item->layout()) {
            collect(inner, owner, into);
        }
    }
}

}  // namespace

QSScreenAccessible::QSScreenAccessible(QWidget *widget, QAccessible::Role role)
    : QSAccessibleWidget(widget, role)
{
}

QList<QWidget *> QSScreenAccessible::readingOrder(const QWidget *widget)
{
    QList<QWidget *> children;
    if (const QLayout *layout = widget->layout())
        collect(layout, widget, children);
    for (QObject *object : widget->children()) {
        auto *child = qobject_cast<QWidget *>(object);
        if (child && !child->isWindow() && !children.contains(child))
            children.append(child);
    }
    children.removeIf([](const QWidget *child) { return QSAccessibility::isDecorative(child); });
    return children;
}

int QSScreenAccessible::childCount() const
{
    return int(readingOrder(widget()).size());
}

QAccessibleInterface *QSScreenAccessible::child(int index) const
{
    const QList<QWidget *> children = readingOrder(widget());
    if (index < 0 || index >= children.size())
        return nullptr;
    return QAccessible::queryAccessibleInterface(children.at(index));
}

int QSScreenAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    if (!child)
        return -1;
    return int(readingOrder(widget()).indexOf(qobject_cast<QWidget *>(child->object())));
}

