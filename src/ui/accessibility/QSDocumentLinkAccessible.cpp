#include "ui/accessibility/QSDocumentLinkAccessible.h"

#include "ui/accessibility/QSAccessibility.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QWindow>

QSDocumentLinkAccessible::QSDocumentLinkAccessible(QTextBrowser *browser, int start, int length, const QString &name,
                                                   const QString &href)
    : browser_(browser), start_(start), length_(length), name_(name), href_(href)
{
}

QWindow *QSDocumentLinkAccessible::window() const
{
    return browser_ ? browser_->window()->windowHandle() : nullptr;
}

QAccessibleInterface *QSDocumentLinkAccessible::parent() const
{
    return browser_ ? QAccessible::queryAccessibleInterface(browser_.data()) : nullptr;
}

QString QSDocumentLinkAccessible::anchorTarget() const
{
    // Where a click would go: relative addresses are resolved against the document's own.
    return browser_ ? browser_->source().resolved(QUrl(href_)).toString() : href_;
}

QString QSDocumentLinkAccessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name:
        return name_;
    case QAccessible::Description:
    case QAccessible::Value:
        return anchorTarget();
    default:
        return {};
    }
}

QRect QSDocumentLinkAccessible::rect() const
{
    if (!browser_)
        return {};
    // Every character's box, in the viewport, united (two lines' worth when the link wraps).
    QRect covered;
    QTextCursor cursor(browser_->document());
    for (int at = start_; at <= start_ + length_; ++at) {
        cursor.setPosition(at);
        covered |= browser_->cursorRect(cursor);
    }
    const QRect visible = covered.intersected(browser_->viewport()->rect());
    const QRect local = visible.isEmpty() ? covered : visible;
    return QSAccessibility::nativeRect(QRect(browser_->viewport()->mapToGlobal(local.topLeft()), local.size()), browser_);
}

bool QSDocumentLinkAccessible::isSelected() const
{
    if (!browser_)
        return false;
    const QTextCursor cursor = browser_->textCursor();
    return cursor.hasSelection() && cursor.selectionStart() >= start_ && cursor.selectionStart() < start_ + length_;
}

QAccessible::State QSDocumentLinkAccessible::state() const
{
    QAccessible::State state;
    if (!browser_) {
        state.invalid = true;
        return state;
    }
    state.linked = true;
    state.focusable = true;
    state.focused = browser_->hasFocus() && isSelected();
    state.invisible = !browser_->isVisible();

    return state;
}

void *QSDocumentLinkAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ActionInterface)
        return static_cast<QAccessibleActionInterface *>(this);
    if (type == QAccessible::HyperlinkInterface)
        return static_cast<QAccessibleHyperlinkInterface *>(this);
    return nullptr;
}

QStringList QSDocumentLinkAccessible::actionNames() const
{
    return {pressAction(), setFocusAction()};
}

void QSDocumentLinkAccessible::doAction(const QString &actionName)
{
    if (!browser_)
        return;
    if (actionName == pressAction()) {
        // As a click: the browser's owner decides where the link goes.
        emit browser_->anchorClicked(QUrl(href_));
    } else if (actionName == setFocusAction()) {
        QTextCursor cursor(browser_->document());
        cursor.setPosition(start_);
        cursor.setPosition(start_ + length_, QTextCursor::KeepAnchor);
        browser_->setFocus(Qt::OtherFocusReason);
        browser_->setTextCursor(cursor);
        browser_->ensureCursorVisible();
    }
}
