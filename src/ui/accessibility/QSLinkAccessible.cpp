#include "ui/accessibility/QSLinkAccessible.h"

#include "ui/accessibility/QSAccessibility.h"
#include "ui/widgets/HyperlinkTextField.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

QSLinkAccessible::QSLinkAccessible(HyperlinkTextField *field, int index)
    : QSLinkAccessibleBase(field), index_(index)
{
}

HyperlinkTextField *QSLinkAccessible::field() const
{
    return static_cast<HyperlinkTextField *>(owner());
}

bool QSLinkAccessible::isValid() const
{
    return QSLinkAccessibleBase::isValid() && index_ < field()->hyperlinks().size();
}

QString QSLinkAccessible::name() const
{
    return field()->hyperlinks().at(index_).name;
}

QString QSLinkAccessible::anchorTarget() const
{
    return isValid() ? field()->hyperlinks().at(index_).url.toString() : QString();
}

QRect QSLinkAccessible::rect() const
{
    if (!isValid())
        return {};
    // The label lays its text out privately: lay it out the same way and take the lines the link
    // covers (two rectangles' union when it wraps).
    const QSAttributedString::Link link = field()->hyperlinks().at(index_);
    const QRect area = field()->contentsRect();
    QTextDocument document;
    document.setDocumentMargin(0);
    document.setDefaultFont(field()->font());
    document.setHtml(field()->text());
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
    if (field()->alignment() & Qt::AlignVCenter)
        top += room / 2;
    else if (field()->alignment() & Qt::AlignBottom)
        top += room;
    // A line squeezed to a maximum height draws its glyphs a little past the label: the link is
    // the part inside it, where a pointer finds it.
    const QRect local = covered.translated(area.left(), top).toAlignedRect().intersected(area);
    if (local.isEmpty())
        return QSAccessibility::nativeRect(QRect(field()->mapToGlobal(QPoint(0, 0)), field()->size()), field());
    return QSAccessibility::nativeRect(QRect(field()->mapToGlobal(local.topLeft()), local.size()), field());
}

bool QSLinkAccessible::isFocusable() const
{
    return field()->focusPolicy() != Qt::NoFocus;
}

bool QSLinkAccessible::hasKeyboard() const
{
    return field()->hasFocus() && field()->focusedLink() == index_;
}

void QSLinkAccessible::follow()
{
    field()->activateLink(index_);
}

void QSLinkAccessible::takeKeyboard()
{
    field()->focusLink(index_);
}

int QSLinkAccessible::startIndex() const
{
    return isValid() ? int(field()->hyperlinks().at(index_).start) : -1;
}

int QSLinkAccessible::endIndex() const
{
    if (!isValid())
        return -1;
    const QSAttributedString::Link link = field()->hyperlinks().at(index_);
    return int(link.start + link.length);
}
