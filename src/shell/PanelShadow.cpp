#include "shell/PanelShadow.h"

#include <QPainter>
#include <QtMath>

// Qt's own blur, the one its drop-shadow effect uses (exported by Qt Widgets, not declared in a
// public header). Using it keeps the shadow exactly as the effect drew it.
void qt_blurImage(QPainter *painter, QImage &blurImage, qreal radius, bool quality, bool alphaOnly, int transposed);

namespace shell {

PanelShadow::PanelShadow(qreal blurRadius, QPoint offset, QColor color)
    : blurRadius_(blurRadius), offset_(offset), color_(color)
{
}

QRect PanelShadow::area(QSize size) const
{
    // The effect's own padding: the panel united with the panel moved by the offset and grown by
    // the blur radius.
    const QRectF panel(QPointF(0, 0), QSizeF(size));
    const QRectF shadow = panel.translated(offset_).adjusted(-blurRadius_, -blurRadius_, blurRadius_, blurRadius_);
    return panel.united(shadow).toAlignedRect();
}

QImage PanelShadow::render(QSize size, const QPainterPath &shape, qreal pixelRatio) const
{
    // The same steps as Qt's drop-shadow filter: the panel's alpha moved by the offset, blurred,
    // then filled with the shadow's colour where it is not transparent.
    const QRect padded = area(size);
    QImage source((QSizeF(padded.size()) * pixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    source.setDevicePixelRatio(pixelRatio);
    source.fill(0);
    {
        QPainter painter(&source);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(-padded.topLeft() + offset_);
        painter.fillPath(shape, Qt::black);
    }
    QImage blurred(source.size(), QImage::Format_ARGB32_Premultiplied);
    blurred.setDevicePixelRatio(pixelRatio);
    blurred.fill(0);
    {
        QPainter painter(&blurred);
        qt_blurImage(&painter, source, blurRadius_, false, true, 0);
    }
    QPainter painter(&blurred);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(blurred.rect(), color_);
    return blurred;
}

void PanelShadow::paint(QPainter &painter, QPoint panelOrigin, QSize size, const QPainterPath &shape, qreal pixelRatio)
{
    if (image_.isNull() || imageFor_ != size || !qFuzzyCompare(image_.devicePixelRatio(), pixelRatio)) {
        image_ = render(size, shape, pixelRatio);
        imageFor_ = size;
    }
    painter.drawImage(panelOrigin + area(size).topLeft(), image_);
}

}  // namespace shell
