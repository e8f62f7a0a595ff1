#include "ui/QSImage.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

QSImage QSImage::named(const QString &name)
{
    QSImage image;
    const QString path = QStringLiteral(":/images/%1.svg").arg(name);
    if (!QFile::exists(path))
        return image;
    auto renderer = std::make_shared<QSvgRenderer>(path);
    if (!renderer->isValid())
        return image;
    renderer->setAspectRatioMode(Qt::KeepAspectRatio);
    image.svg_ = std::move(renderer);
    image.name_ = name;
    return image;
}

QSImage QSImage::fromData(const QByteArray &data)
{
    QSImage image;
    if (data.isEmpty())
        return image;
    QBuffer buffer;
    buffer.setData(data);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QImage decoded = reader.read();
    if (!decoded.isNull()) {
        image.raster_ = decoded;
        return image;
    }
    // SVG bytes without the image-format plugin
    auto renderer = std::make_shared<QSvgRenderer>(data);
    if (renderer->isValid()) {
        renderer->setAspectRatioMode(Qt::KeepAspectRatio);
        image.svg_ = std::move(renderer);
    }
    return image;
}

QSImage QSImage::fromImage(const QImage &source)
{
    QSImage image;
    image.raster_ = source;
    return image;
}

QSizeF QSImage::size() const
{
    if (svg_)
        return svg_->defaultSize();
    if (raster_.isNull())
        return {};
    return QSizeF(raster_.size()) / raster_.devicePixelRatio();
}

QRectF QSImage::fittedRect(const QRectF &target) const
{
    const QSizeF natural = size();
    if (natural.isEmpty() || target.isEmpty())
        return {};
    const QSizeF fitted = natural.scaled(target.size(), Qt::KeepAspectRatio);
    QRectF rect(QPointF(), fitted);
    rect.moveCenter(target.center());
    return rect;
}

void QSImage::paint(QPainter &painter, const QRectF &target) const
{
    const QRectF rect = fittedRect(target);
    if (rect.isEmpty())
        return;
    if (svg_) {
        svg_->render(&painter, rect);
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect, raster_);
    painter.restore();
}
