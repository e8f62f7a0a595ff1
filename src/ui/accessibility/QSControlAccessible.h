#pragma once
// The installer's buttons and text labels for screen readers, as Qt describes them (a push button
// named by its title that Press clicks; a label named by its plain text), with one difference:
// their positions are in the screen's device pixels, as every position the installer gives
// assistive technology is (QSAccessibility::nativeRect). Qt 6.4 gives points, so a magnifier at
// any scale but 1 would land beside the control.

#include "ui/accessibility/QSAccessibleWidget.h"

class QSControlAccessible : public QSAccessibleWidget {
public:
    // `widget` is a QAbstractButton (the push button role) or a QLabel showing text.
    explicit QSControlAccessible(QWidget *widget);

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;

private:
    bool isButton() const;
};
