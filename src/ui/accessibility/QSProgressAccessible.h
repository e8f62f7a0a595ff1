#pragma once
// The progress bar for screen readers: a progress bar whose value (0 to 100 percent) follows the
// bar. The bar reports each change of the whole percent (QSProgressView::setProgress).

#include "ui/accessibility/QSAccessibleWidget.h"

class QSProgressView;

class QSProgressAccessible : public QSAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit QSProgressAccessible(QSProgressView *bar);

    // The bar's progress in whole percent, within 0 to 100 (the bar itself is not clamped).
    static int percent(float progress);

    QString text(QAccessible::Text t) const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    QSProgressView *bar() const;
};
