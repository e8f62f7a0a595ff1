#include "ui/accessibility/QSDocumentLinkAccessible.h"

#include "ui/accessibility/QSAccessibility.h"

#include <QScrollBar>
#include <QTextCursor>

QSDocumentLinkAccessible::QSDocumentLinkAccessible(QTextBrowser *browser, int start, int length, const QString &name,
                                                   const QString &href)
    : QSLinkAccessibleBase(browser), start_(start), length_(length), name_(name), href_(href)
{
}

QTextBrowser *QSDocumentLinkAccessible::browser() const
{
    return static_cast<QTextBrowser *>(owner());
}

QString QSDocumentLinkAccessible::anchorTarget() const
{
    // Where a click would go: relative addresses are resolved against the document's own.
    return isValid() ? browser()->source().resolved(QUrl(href_)).toString() : href_;
}

QRect QSDocumentLinkAccessible::rect() const
{
    if (!isValid())
        return {};
    // Every character's box, in the viewport, united (two lines' worth when the link wraps).
    QRect covered;
    QTextCursor cursor(browser()->document());
    for (int at = start_; at <= start_ + length_; ++at) {
        cursor.setPosition(at);
        covered |= browser()->cursorRect(cursor);
    }
    const QRect visible = covered.intersected(browser()->viewport()->rect());
    const QRect local = visible.isEmpty() ? covered : visible;
    return QSAccessibility::nativeRect(QRect(browser()->viewport()->mapToGlobal(local.topLeft()), local.size()), browser());
}

bool QSDocumentLinkAccessible::isSelected() const
{
    if (!isValid())
        return false;
    const QTextCursor cursor = browser()->textCursor();
    return cursor.hasSelection() && cursor.selectionStart() >= start_ && cursor.selectionStart() < start_ + length_;
}

bool QSDocumentLinkAccessible::hasKeyboard() const
{
    return browser()->hasFocus() && isSelected();
}

void QSDocumentLinkAccessible::follow()
{
    // As a click: the browser's owner decides where the link goes.
    emit browser()->anchorClicked(QUrl(href_));
}

void QSDocumentLinkAccessible::takeKeyboard()
{
    QTextCursor cursor(browser()->document());
    cursor.setPosition(start_);
    cursor.setPosition(start_ + length_, QTextCursor::KeepAnchor);
    browser()->setFocus(Qt::OtherFocusReason);
    browser()->setTextCursor(cursor);
    browser()->ensureCursorVisible();
}
