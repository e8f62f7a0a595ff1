#include "ui/accessibility/QSLinkAccessible.h"

#include "ui/accessibility/QSAccessibility.h"
#include "ui/widgets/HyperlinkTextField.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QWindow>

QSLinkAccessible::QSLinkAccessible(HyperlinkTextField *field, int index)
    : field_(field), index_(index)
{
}

bool QSLinkAccessible::isValid() const
{
    return field_ && index_ < field_->hyperlinks().size();
}

QWindow *QSLinkAccessible::window() const
{
    return field_ ? field_->window()->windowHandle() : nullptr;
}

QAccessibleInterface *QSLinkAccessible::parent() const
{
    return field_ ? QAccessible::queryAccessibleInterface(field_.data()) : nullptr;
}

QString QSLinkAccessible::text(QAccessible::Text t) const
{
    if (!isValid())
        return {};
    const QSAttributedString::Link link = field_->hyperlinks().at(index_);
    switch (t) {
    case QAccessible::Name:
        return link.name;
    case QAccessible::Description:
    case QAccessible::Value:
        return link.url.toString();
    default:
        return {};
    }
}

QRect QSLinkAccessible::rect() const
{
    if (!isValid())
        return {};
    // The label lays its text out privately: lay it out the same way and take the lines the link
    // covers (two rectangles' union when it wraps).
    const QSAttributedString::Link link = field_->hyperlinks().at(index_);
    const QRect area = field_->contentsRect();
    QTextDocument document;
    document.setDocumentMargin(0);
    document.setDefaultFont(field_->font());
    document.setHtml(field_->text());
    document.setTextWidth(area.width());
    QRectF covered;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QPointF origin = document.documentLayout()->blockBoundingRect(block).topLeft();
        const QTextLayout *layout = block.layout();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const int lineStart = block.position() + line.textStart();
            const int from = qMax(int(link.start), lineStart);
            const int to = qMin(int(link.start + link.length), lineStart + line.textLength());
            if (from >= to)
                continue;
            const qreal x1 = line.cursorToX(from - block.position());
            const qreal x2 = line.cursorToX(to - block.position());
            covered |= QRectF(qMin(x1, x2), line.y(), qAbs(x2 - x1), line.height()).translated(origin);
        }
    }
    // As QLabel places its text: centred or at the bottom only when it is shorter than the label.
    const qreal room = qMax(0.0, area.height() - document.size().height());
    qreal top = area.top();
    if (field_->alignment() & Qt::AlignVCenter)
        top += room / 2;
    else if (field_->alignment() & Qt::AlignBottom)
        top += room;
    // A line squeezed to a maximum height draws its glyphs a little past the label: the link is
    // the part inside it, where a pointer finds it.
    const QRect local = covered.translated(area.left(), top).toAlignedRect().intersected(area);
    if (local.isEmpty())
        return QSAccessibility::nativeRect(QRect(field_->mapToGlobal(QPoint(0, 0)), field_->size()), field_);
    return QSAccessibility::nativeRect(QRect(field_->mapToGlobal(local.topLeft()), local.size()), field_);
}

QAccessible::State QSLinkAccessible::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    state.linked = true;
    state.focusable = field_->focusPolicy() != Qt::NoFocus;
    state.focused = field_->hasFocus() && field_->focusedLink() == index_;
    state.invisible = !field_->isVisible();
    return state;
}

void *QSLinkAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ActionInterface)
        return static_cast<QAccessibleActionInterface *>(this);
    if (type == QAccessible::HyperlinkInterface)
        return static_cast<QAccessibleHyperlinkInterface *>(this);
    return nullptr;
}

QStringList QSLinkAccessible::actionNames() const
{
    return {pressAction(), setFocusAction()};
}

void QSLinkAccessible::doAction(const QString &actionName)
{
    if (!isValid())
        return;
    if (actionName == pressAction())
        field_->activateLink(index_);
    else if (actionName == setFocusAction())
        field_->focusLink(index_);
}

QString QSLinkAccessible::anchor() const
{
    return text(QAccessible::Name);
}

QString QSLinkAccessible::anchorTarget() const
{
    return text(QAccessible::Description);
}

int QSLinkAccessible::startIndex() const
{
    return isValid() ? int(field_->hyperlinks().at(index_).start) : -1;
}

int QSLinkAccessible::endIndex() const
{
    if (!isValid())
        return -1;
    const QSAttributedString::Link link = field_->hyperlinks().at(index_);
    return int(link.start + link.length);
}
