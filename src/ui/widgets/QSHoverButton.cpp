#include "ui/widgets/QSHoverButton.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int kHorizontalPadding = 28;
constexpr int kMinimumHeight = 40;
}  // namespace

QSHoverButton::QSHoverButton(QWidget *parent)
    : QPushButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_TranslucentBackground);
    // Reachable with Tab; a click does not move the focus to it.
    setFocusPolicy(Qt::TabFocus);
    setAutoDefault(false);
}

void QSHoverButton::setFocusRingShown(bool shown)
{
    focusFromKeyboard_ = shown;
    update();
}

void QSHoverButton::setLayerBackgroundColor(const QColor &color)
{
    background_ = color;
    update();
}

void QSHoverButton::setLayerBorderColor(const QColor &color)
{
    border_ = color;
    update();
}

void QSHoverButton::setLayerBorderWidth(qreal width)
{
    borderWidth_ = width;
    update();
}

void QSHoverButton::setCornerRadius(qreal radius)
{
    radius_ = radius;
    update();
}

void QSHoverButton::setTitleAttributes(const QFont &font, const QColor &color)
{
    setFont(font);
    titleColor_ = color;
    updateGeometry();
    update();
}

QSize QSHoverButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int textWidth = metrics.horizontalAdvance(text());
    return QSize(textWidth + 2 * kHorizontalPadding, qMax(kMinimumHeight, metrics.height() + 16));
}

QSize QSHoverButton::minimumSizeHint() const
{
    return sizeHint();
}

void QSHoverButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.45);

    const qreal inset = borderWidth_ / 2;
    const QRectF box = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    const qreal radius = qMin(radius_, qMin(box.width(), box.height()) / 2);
    painter.setPen(borderWidth_ > 0 ? QPen(border_, borderWidth_) : QPen(Qt::NoPen));
    painter.setBrush(background_);
    painter.drawRoundedRect(box, radius, radius);

    if (hasFocus() && focusFromKeyboard_) {
        // In the title's own colour, opaque and two points wide: the title already contrasts with
        // the button's fill, so the ring does too (at least 3:1 on every button), at any scale.
        const QRectF ringBox = box.adjusted(kRingInset, kRingInset, -kRingInset, -kRingInset);
        const qreal ringRadius = qMax<qreal>(0, radius - kRingInset);
        painter.setPen(QPen(titleColor_, kRingWidth, Qt::SolidLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(ringBox, ringRadius, ringRadius);
    }

    painter.setPen(titleColor_);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}

void QSHoverButton::focusInEvent(QFocusEvent *event)
{
    // The ring marks where the keyboard is: it comes with Tab, goes with a click or a program's
    // focus change, and stays as it was when the focus only returns with its window.
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
        focusFromKeyboard_ = true;
    else if (event->reason() != Qt::ActiveWindowFocusReason)
        focusFromKeyboard_ = false;
    QPushButton::focusInEvent(event);
}

void QSHoverButton::focusOutEvent(QFocusEvent *event)
{
    if (event->reason() != Qt::ActiveWindowFocusReason)
        focusFromKeyboard_ = false;
    QPushButton::focusOutEvent(event);
}

void QSHoverButton::keyPressEvent(QKeyEvent *event)
{
    // QPushButton leaves Return to a dialog's default button unless it is auto-default; these
    // buttons live in plain windows too, so the focused one answers Return itself.
    const bool returnKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (returnKey && plain) {
        event->accept();
        if (isEnabled() && !event->isAutoRepeat())
            click();
        return;
    }
    QPushButton::keyPressEvent(event);
}
