#pragma once
// An image of the screens: vector artwork from the embedded resources (drawn sharp at any size and
// screen scale) or a raster image that arrived as bytes (carousel pictures).

#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <memory>

class QPainter;
class QSvgRenderer;

class QSImage {
public:
    QSImage() = default;

    // ":/images/<name>.svg"; a null image when the resources have no such picture.
    static QSImage named(const QString &name);
    // Decodes bytes of any format Qt reads (PNG, JPEG, SVG, ...); null when they are no image.
    static QSImage fromData(const QByteArray &data);
    static QSImage fromImage(const QImage &image);

    bool isNull() const { return !svg_ && raster_.isNull(); }
    QString name() const { return name_; }
    // Natural size in layout points (raster images count their device pixel ratio).
    QSizeF size() const;

    // Draws the image scaled to fit inside target, keeping its proportions, centred.
    void paint(QPainter &painter, const QRectF &target) const;
    // The rectangle paint() fills inside target.
    QRectF fittedRect(const QRectF &target) const;

private:
    std::shared_ptr<QSvgRenderer> svg_;
    QImage raster_;
    QString name_;
};
