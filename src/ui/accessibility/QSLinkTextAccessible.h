#pragma once
// A text with links (HyperlinkTextField) for screen readers: a label named by its whole text,
// whose links are its children (QSLinkAccessible), in the order they are read. The children are
// made when a reader first asks for them and dropped, with an event, when the text changes.

#include <QAccessible>
#include <QAccessibleWidget>
#include <QList>

class HyperlinkTextField;

class QSLinkTextAccessible : public QAccessibleWidget {
public:
    explicit QSLinkTextAccessible(HyperlinkTextField *field);
    // In the screen's device pixels (QSAccessibility::nativeRect).
    QRect rect() const override;
    ~QSLinkTextAccessible() override;

    QString text(QAccessible::Text t) const override;
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;

    // The field's text changed: its old links go, and readers hear the new name.
    static void textChanged(HyperlinkTextField *field);
    // The keyboard moved to another link of the field.
    static void linkFocused(HyperlinkTextField *field);

private:
    HyperlinkTextField *field() const;
    void dropLinks();

    mutable QList<QAccessible::Id> linkIds_;
};
