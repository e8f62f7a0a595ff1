#include "ui/widgets/QSImageView.h"

#include "ui/accessibility/QSAccessibility.h"

#include <QPainter>

QSImageView::QSImageView(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    // The screens' pictures illustrate the title beside them; a reader that named them would only
    // say the title twice.
    QSAccessibility::setDecorative(this);
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
    // Only the picture's own rectangle is kept, not the whole (mostly transparent) view: in a
    // wide slot that is less than half the memory, and less to draw on every repaint.
    const qreal ratio = devicePixelRatioF();
    const QRectF whole(QPointF(0, 0), QSizeF(size()));
    const QRect area = image_.fittedRect(whole).toAlignedRect();
    if (area.isEmpty())
        return;
    if (cacheFor_ != size() || cache_.isNull() || !qFuzzyCompare(cache_.devicePixelRatio(), ratio)) {
        cache_ = QPixmap((QSizeF(area.size()) * ratio).toSize());
        cache_.setDevicePixelRatio(ratio);
        cache_.fill(Qt::transparent);
        cacheFor_ = size();
        QPainter scaler(&cache_);
        scaler.setRenderHint(QPainter::Antialiasing);
        scaler.translate(-area.topLeft());
        image_.paint(scaler, whole);
    }
    QPainter painter(this);
    painter.drawPixmap(area.topLeft(), cache_);
}
