#pragma once
// The status line for screen readers: a status bar whose name and text are the status shown. Its
// text is read-only; the status line reports each change (QSStatusLine::setStatus).

#include "ui/accessibility/QSAccessibleWidget.h"

class QSStatusLine;

class QSStatusLineAccessible : public QSAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit QSStatusLineAccessible(QSStatusLine *line);

    QString text(QAccessible::Text t) const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    // QAccessibleTextInterface: the whole status, nothing selectable, no caret.
    void selection(int, int *startOffset, int *endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

private:
    QString status() const;
};
