#include "ui/widgets/QSRoundedPanel.h"

#include <QPainter>
#include <QPainterPath>

QSRoundedPanel::QSRoundedPanel(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void QSRoundedPanel::setBackgroundColor(const QColor &color)
{
    background_ = color;
    update();
}

void QSRoundedPanel::setCornerRadius(qreal radius)
{
    radius_ = radius;
    update();
}

void QSRoundedPanel::setBorder(const QColor &color, qreal width)
{
    border_ = color;
    borderWidth_ = width;
    update();
}

void QSRoundedPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal inset = borderWidth_ / 2;
    const QRectF box = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    const qreal radius = qMin(radius_, qMin(box.width(), box.height()) / 2);
    painter.setPen(borderWidth_ > 0 ? QPen(border_, borderWidth_) : QPen(Qt::NoPen));
    painter.setBrush(background_);
    painter.drawRoundedRect(box, radius, radius);
}
