#pragma once
// Qt's widget interface for screen readers with the widget's place given in the screen's device
// pixels (QSAccessibility::nativeRect), where a magnifier looks: the base of the installer's own.

#include "ui/accessibility/QSAccessibility.h"

#include <QAccessibleWidget>

class QSAccessibleWidget : public QAccessibleWidget {
public:
    using QAccessibleWidget::QAccessibleWidget;

    QRect rect() const override { return QSAccessibility::nativeRect(QAccessibleWidget::rect(), widget()); }
};
