#include "ui/accessibility/QSLinkAccessibleBase.h"

#include <QWindow>

QWindow *QSLinkAccessibleBase::window() const
{
    return owner_ ? owner_->window()->windowHandle() : nullptr;
}

QAccessibleInterface *QSLinkAccessibleBase::parent() const
{
    return owner_ ? QAccessible::queryAccessibleInterface(owner_.data()) : nullptr;
}

QString QSLinkAccessibleBase::text(QAccessible::Text t) const
{
    if (!isValid())
        return {};
    switch (t) {
    case QAccessible::Name:
        return name();
    case QAccessible::Description:
    case QAccessible::Value:
        return anchorTarget();
    default:
        return {};
    }
}

QAccessible::State QSLinkAccessibleBase::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    state.linked = true;
    state.focusable = isFocusable();
    state.focused = hasKeyboard();
    state.invisible = !owner_->isVisible();
    return state;
}

void *QSLinkAccessibleBase::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ActionInterface)
        return static_cast<QAccessibleActionInterface *>(this);
    if (type == QAccessible::HyperlinkInterface)
        return static_cast<QAccessibleHyperlinkInterface *>(this);
    return nullptr;
}

QStringList QSLinkAccessibleBase::actionNames() const
{
    return {pressAction(), setFocusAction()};
}

void QSLinkAccessibleBase::doAction(const QString &actionName)
{
    if (!isValid())
        return;
    if (actionName == pressAction())
        follow();
    else if (actionName == setFocusAction())
        takeKeyboard();
}
