#pragma once
// A text with links (HyperlinkTextField) for screen readers: a label named by its whole text,
// whose links are its children (QSLinkAccessible), in the order they are read. The children are
// made when a reader first asks for them and dropped, with an event, when the text changes.

#include <QAccessible>
#include "ui/accessibility/QSAccessibleWidget.h"
#include <QList>

class HyperlinkTextField;

class QSLinkTextAccessible : public QSAccessibleWidget {
public:
    explicit QSLinkTextAccessible(HyperlinkTextField *field);
    ~QSLinkTextAccessible() override;

    QString text(QAccessible::Text t) const override;
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;

    // The field's text changed: its old links go, and readers hear the new name.
    static void textChanged(HyperlinkTextField *field);

private:
    HyperlinkTextField *field() const;
    void dropLinks();

    mutable QList<QAccessible::Id> linkIds_;
};
