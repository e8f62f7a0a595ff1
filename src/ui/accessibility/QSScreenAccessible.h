#pragma once
// A screen, a part of one, or a window of the installer, as screen readers see it: its children
// in reading order, which is the order of its layout (top to bottom, and along a row in the
// writing direction: Qt mirrors rows for right to left, so the first item of a row is read first
// in both directions). Widgets outside the layout follow in the order they were made. Decorative
// pictures are left out.

#include "ui/accessibility/QSAccessibleWidget.h"
#include <QList>

class QSScreenAccessible : public QSAccessibleWidget {
public:
    QSScreenAccessible(QWidget *widget, QAccessible::Role role);

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;

    // The widget's children as they are read.
    static QList<QWidget *> readingOrder(const QWidget *widget);
};
