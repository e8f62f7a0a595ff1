#pragma once
// A read-only document (the licence's QTextBrowser) for screen readers: the document role, its whole
// text through the text interface (what a reader reads out when the window opens), and its links
// as children (QSDocumentLinkAccessible), in document order. The document is loaded once, so the
// links are made once, when a reader first asks for them.

#include <QAccessible>
#include "ui/accessibility/QSAccessibleWidget.h"
#include <QList>

class QTextBrowser;

class QSDocumentAccessible : public QSAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit QSDocumentAccessible(QTextBrowser *browser);
    ~QSDocumentAccessible() override;

    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *focusChild() const override;
    QAccessibleInterface *childAt(int x, int y) const override;

    // QAccessibleTextInterface, over the document's plain text (one character per position).
    using QAccessibleWidget::text;
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

private:
    QTextBrowser *browser() const;
    const QList<QAccessible::Id> &links() const;

    mutable QList<QAccessible::Id> linkIds_;
    mutable bool linksMade_ = false;
};
