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
    cache_ = QPixmap();
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
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (cache_.size() != pixels || !qFuzzyCompare(cache_.devicePixelRatio(), ratio)) {
        cache_ = QPixmap(pixels);
        cache_.setDevicePixelRatio(ratio);
        cache_.fill(Qt::transparent);
        QPainter scaler(&cache_);
        scaler.setRenderHint(QPainter::Antialiasing);
        image_.paint(scaler, QRectF(QPointF(0, 0), QSizeF(size())));
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, cache_);
}
