#pragma once
// The drop shadow under the window's rounded panel, drawn once into an image that the window
// paints behind the panel. A QGraphicsDropShadowEffect on the panel gives the same pixels, but it
// renders and blurs the whole panel again whenever anything inside it changes: each step of the
// progress bar would cost a 1000 x 640 blur.

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPoint>

namespace shell {

class PanelShadow {
public:
    PanelShadow(qreal blurRadius, QPoint offset, QColor color);

    // Paints the shadow of an opaque panel of `shape` (in the panel's coordinates, within `size`)
    // whose top-left corner is at `panelOrigin` in the painter's coordinates. The image is made
    // on the first call and again only when the size or the pixel ratio changes.
    void paint(QPainter &painter, QPoint panelOrigin, QSize size, const QPainterPath &shape, qreal pixelRatio);

    // Where the shadow image lies relative to the panel's top-left corner (it is larger than the
    // panel by the blur on every side, moved by the offset).
    QRect area(QSize size) const;

private:
    QImage render(QSize size, const QPainterPath &shape, qreal pixelRatio) const;

    qreal blurRadius_;
    QPoint offset_;
    QColor color_;
    QImage image_;
    QSize imageFor_;
};

}  // namespace shell
