#include "ui/accessibility/QSLinkTextAccessible.h"

#include "ui/accessibility/QSAccessibility.h"

#include "ui/accessibility/QSLinkAccessible.h"
#include "ui/widgets/HyperlinkTextField.h"

#include <utility>

QSLinkTextAccessible::QSLinkTextAccessible(HyperlinkTextField *field)
    : QSAccessibleWidget(field, QAccessible::StaticText)
{
}

QSLinkTextAccessible::~QSLinkTextAccessible()
{
    // The links die with their text (at exit the cache may have deleted them already).
    for (const QAccessible::Id id : std::as_const(linkIds_)) {
        if (QAccessible::accessibleInterface(id))
            QAccessible::deleteAccessibleInterface(id);
    }
}

HyperlinkTextField *QSLinkTextAccessible::field() const
{
    return static_cast<HyperlinkTextField *>(widget());
}

QString QSLinkTextAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name && field()->accessibleName().isEmpty())
        return field()->spokenText();
    return QAccessibleWidget::text(t);
}

int QSLinkTextAccessible::childCount() const
{
    return int(field()->hyperlinks().size());
}

QAccessibleInterface *QSLinkTextAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    while (linkIds_.size() <= index)
        linkIds_.append(QAccessible::registerAccessibleInterface(new QSLinkAccessible(field(), int(linkIds_.size()))));
    return QAccessible::accessibleInterface(linkIds_.at(index));
}

int QSLinkTextAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    const QAccessible::Id id = QAccessible::uniqueId(const_cast<QAccessibleInterface *>(child));
    return int(linkIds_.indexOf(id));
}

QAccessibleInterface *QSLinkTextAccessible::childAt(int x, int y) const
{
    for (int i = 0; i < childCount(); ++i) {
        QAccessibleInterface *link = child(i);
        if (link->rect().contains(x, y))
            return link;
    }
    return nullptr;
}

QAccessibleInterface *QSLinkTextAccessible::focusChild() const
{
    const qsizetype focused = field()->hasFocus() ? field()->focusedLink() : -1;
    return focused >= 0 ? child(int(focused)) : nullptr;
}

void QSLinkTextAccessible::dropLinks()
{
    for (const QAccessible::Id id : std::as_const(linkIds_)) {
        QAccessibleInterface *link = QAccessible::accessibleInterface(id);
        if (!link)
            continue;
        QAccessibleEvent gone(link, QAccessible::ObjectDestroyed);
        QAccessible::updateAccessibility(&gone);
        QAccessible::deleteAccessibleInterface(id);
    }
    linkIds_.clear();
}

void QSLinkTextAccessible::textChanged(HyperlinkTextField *field)
{
    if (!QAccessible::isActive())
        return;
    if (auto *self = dynamic_cast<QSLinkTextAccessible *>(QAccessible::queryAccessibleInterface(field)))
        self->dropLinks();
    if (field->accessibleName().isEmpty()) {
        QAccessibleEvent renamed(field, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&renamed);
    }
}


