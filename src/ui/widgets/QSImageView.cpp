#include "ui/widgets/QSImageView.h"

#include <QPainter>

QSImageView::QSImageView(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void QSImageView::setImage(const QSImage &image)
{
    image_ = image;
    updateGeometry();
    update();
}

QSize QSImageView::sizeHint() const
{
    const QSizeF natural = image_.size();
    return natural.isEmpty() ? QSize(0, 0) : natural.toSize();
}

void QSImageView::paintEvent(QPaintEvent *)
{
    if (image_.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    image_.paint(painter, rect());
}
