#include "ui/accessibility/QSDocumentAccessible.h"

#include "ui/accessibility/QSAccessibility.h"

#include "ui/accessibility/QSDocumentLinkAccessible.h"

#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

QSDocumentAccessible::QSDocumentAccessible(QTextBrowser *browser)
    : QSAccessibleWidget(browser, QAccessible::Document)
{
}

QSDocumentAccessible::~QSDocumentAccessible()
{
    for (const QAccessible::Id id : std::as_const(linkIds_))
        QAccessible::deleteAccessibleInterface(id);
}

QTextBrowser *QSDocumentAccessible::browser() const
{
    return static_cast<QTextBrowser *>(widget());
}

const QList<QAccessible::Id> &QSDocumentAccessible::links() const
{
    if (linksMade_)
        return linkIds_;
    linksMade_ = true;
    // Each run of characters carrying one link address, in document order (a link whose text
    // changes style midway is still one link).
    struct Run { int start = 0, length = 0; QString name, href; };
    QList<Run> runs;
    for (QTextBlock block = browser()->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (!format.isAnchor() || format.anchorHref().isEmpty())
                continue;
            if (!runs.isEmpty() && runs.last().href == format.anchorHref()
                && runs.last().start + runs.last().length == fragment.position()) {
                runs.last().length += fragment.length();
                runs.last().name += fragment.text();
            } else {
                runs.append({fragment.position(), fragment.length(), fragment.text(), format.anchorHref()});
            }
        }
    }
    for (const Run &run : runs)
        linkIds_.append(QAccessible::registerAccessibleInterface(
            new QSDocumentLinkAccessible(browser(), run.start, run.length, run.name.simplified(), run.href)));
    return linkIds_;
}

QAccessible::State QSDocumentAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.focusable = true;
    state.multiLine = true;
    return state;
}

void *QSDocumentAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

int QSDocumentAccessible::childCount() const
{
    return int(links().size());
}

QAccessibleInterface *QSDocumentAccessible::child(int index) const
{
    return index >= 0 && index < links().size() ? QAccessible::accessibleInterface(links().at(index)) : nullptr;
}

int QSDocumentAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    return child ? int(links().indexOf(QAccessible::uniqueId(const_cast<QAccessibleInterface *>(child)))) : -1;
}

QAccessibleInterface *QSDocumentAccessible::focusChild() const
{
    if (!browser()->hasFocus())
        return nullptr;
    for (const QAccessible::Id id : links()) {
        auto *link = static_cast<QSDocumentLinkAccessible *>(QAccessible::accessibleInterface(id));
        if (link && link->isSelected())
            return link;
    }
    return nullptr;
}

QAccessibleInterface *QSDocumentAccessible::childAt(int x, int y) const
{
    for (const QAccessible::Id id : links()) {
        QAccessibleInterface *link = QAccessible::accessibleInterface(id);
        if (link && link->rect().contains(x, y))
            return link;
    }
    return nullptr;
}


// ----- Text --------------------------------------------------------------------------------

void QSDocumentAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    const QTextCursor cursor = browser()->textCursor();
    const bool any = selectionIndex == 0 && cursor.hasSelection();
    *startOffset = any ? cursor.selectionStart() : 0;
    *endOffset = any ? cursor.selectionEnd() : 0;
}

int QSDocumentAccessible::selectionCount() const
{
    return browser()->textCursor().hasSelection() ? 1 : 0;
}

void QSDocumentAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void QSDocumentAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex != 0)
        return;
    QTextCursor cursor = browser()->textCursor();
    cursor.clearSelection();
    browser()->setTextCursor(cursor);
}

void QSDocumentAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex != 0)
        return;
    const int last = characterCount();
    QTextCursor cursor(browser()->document());
    cursor.setPosition(qBound(0, startOffset, last));
    cursor.setPosition(qBound(0, endOffset, last), QTextCursor::KeepAnchor);
    browser()->setTextCursor(cursor);
}

int QSDocumentAccessible::cursorPosition() const
{
    return browser()->textCursor().position();
}

void QSDocumentAccessible::setCursorPosition(int position)
{
    QTextCursor cursor(browser()->document());
    cursor.setPosition(qBound(0, position, characterCount()));
    browser()->setTextCursor(cursor);
}

QString QSDocumentAccessible::text(int startOffset, int endOffset) const
{
    // Plain text has one character for each position of the document (a paragraph's end is a
    // line feed), so offsets are the document's positions.
    const QString whole = browser()->document()->toPlainText();
    if (endOffset < 0 || endOffset > whole.size())
        endOffset = int(whole.size());
    startOffset = qBound(0, startOffset, endOffset);
    return whole.mid(startOffset, endOffset - startOffset);
}

int QSDocumentAccessible::characterCount() const
{
    return int(browser()->document()->toPlainText().size());
}

QRect QSDocumentAccessible::characterRect(int offset) const
{
    QTextCursor cursor(browser()->document());
    cursor.setPosition(qBound(0, offset, characterCount()));
    const QRect local = browser()->cursorRect(cursor);
    return QSAccessibility::nativeRect(QRect(browser()->viewport()->mapToGlobal(local.topLeft()), local.size()), browser());
}

int QSDocumentAccessible::offsetAtPoint(const QPoint &point) const
{
    const QPoint points = QSAccessibility::pointFromNative(point, browser());
    return browser()->cursorForPosition(browser()->viewport()->mapFromGlobal(points)).position();
}

void QSDocumentAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    setSelection(0, startIndex, endIndex);
    browser()->ensureCursorVisible();
}

QString QSDocumentAccessible::attributes(int, int *startOffset, int *endOffset) const
{
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

