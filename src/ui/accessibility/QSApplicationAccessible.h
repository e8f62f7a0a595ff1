#pragma once
// The installer as a whole, for screen readers: the application at the root of the tree, named by
// the product (as its window is) in every language, not by the executable's file name.

#include <QAccessibleApplication>

class QSApplicationAccessible : public QAccessibleApplication {
public:
    QString text(QAccessible::Text t) const override;
};
