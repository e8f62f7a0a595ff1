#include "PageImages.h"

#include <QBuffer>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <cmath>

namespace demo {

namespace {

const QColor kInk(0x2F, 0x30, 0x34);

void drawWelcome(QPainter &p)
{
    QLinearGradient sky(0, 0, 0, 220);
    sky.setColorAt(0, QColor(0xFF, 0xE3, 0xC4));
    sky.setColorAt(1, QColor(0xFF, 0xF6, 0xEC));
    p.fillRect(QRectF(0, 0, 360, 220), sky);

    p.setBrush(QColor(0xFF, 0xA7, 0x4F));
    p.drawEllipse(QPointF(250, 92), 38, 38);

    QPainterPath farHill;
    farHill.moveTo(0, 170);
    farHill.cubicTo(90, 110, 170, 120, 360, 160);
    farHill.lineTo(360, 220);
    farHill.lineTo(0, 220);
    p.setBrush(QColor(0x7F, 0xB8, 0x8E));
    p.drawPath(farHill);

    QPainterPath nearHill;
    nearHill.moveTo(0, 200);
    nearHill.cubicTo(120, 150, 240, 210, 360, 180);
    nearHill.lineTo(360, 220);
    nearHill.lineTo(0, 220);
    p.setBrush(QColor(0x3E, 0x8E, 0x6A));
    p.drawPath(nearHill);
}

// An arrow head at the point `degrees` of an ellipse arc (Qt's angles: counter-clockwise from
// three o'clock), pointing clockwise along the arc.
void drawArrowHead(QPainter &p, QPointF centre, qreal rx, qreal ry, qreal degrees)
{
    const qreal angle = qDegreesToRadians(degrees);
    const QPointF end = centre + QPointF(rx * std::cos(angle), -ry * std::sin(angle));
    QPointF direction(rx * std::sin(angle), ry * std::cos(angle));
    direction /= std::hypot(direction.x(), direction.y());
    const QPointF across(-direction.y(), direction.x());
    p.drawPolygon(QPolygonF({end + direction * 9, end + across * 8 - direction * 3,
                             end - across * 8 - direction * 3}));
}

void drawSync(QPainter &p)
{
    p.fillRect(QRectF(0, 0, 360, 220), QColor(0xE8, 0xF1, 0xFB));

    // A desk screen on the left and a laptop on the right.
    p.setBrush(kInk);
    p.drawRoundedRect(QRectF(40, 50, 120, 80), 8, 8);
    p.drawRect(QRectF(92, 130, 16, 22));
    p.drawRoundedRect(QRectF(70, 150, 60, 8), 4, 4);
    p.setBrush(QColor(0x5B, 0x9B, 0xE6));
    p.drawRoundedRect(QRectF(48, 58, 104, 64), 4, 4);

    p.setBrush(kInk);
    p.drawRoundedRect(QRectF(215, 80, 100, 64), 6, 6);
    p.drawRoundedRect(QRectF(200, 144, 130, 10), 5, 5);
    p.setBrush(QColor(0x8C, 0xC4, 0xF5));
    p.drawRoundedRect(QRectF(222, 87, 86, 50), 3, 3);

    // Two arcs with arrow heads between them: desk to laptop over the top, back underneath.
    const QColor orange(0xF2, 0x8C, 0x28);
    p.setPen(QPen(orange, 5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(150, 30, 70, 60), 30 * 16, 120 * 16);
    p.drawArc(QRectF(150, 150, 70, 50), 210 * 16, 120 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(orange);
    drawArrowHead(p, QPointF(185, 60), 35, 30, 30);
    drawArrowHead(p, QPointF(185, 175), 35, 25, 210);
}

void drawShare(QPainter &p)
{
    p.fillRect(QRectF(0, 0, 360, 220), QColor(0xF3, 0xEE, 0xFB));

    const QColor colours[] = {QColor(0x8E, 0x6C, 0xEF), QColor(0xF2, 0x6D, 0x85),
                              QColor(0x3F, 0xB5, 0xA8)};
    const qreal centres[] = {125, 180, 235};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(colours[i]);
        p.drawEllipse(QPointF(centres[i], 82), 24, 24);
        QPainterPath body;
        body.moveTo(centres[i] - 40, 170);
        body.cubicTo(centres[i] - 40, 118, centres[i] + 40, 118, centres[i] + 40, 170);
        body.closeSubpath();
        p.drawPath(body);
    }
    p.setBrush(kInk);
    p.drawRoundedRect(QRectF(70, 170, 220, 8), 4, 4);
}

void drawSafe(QPainter &p)
{
    QLinearGradient back(0, 0, 360, 220);
    back.setColorAt(0, QColor(0xE6, 0xF6, 0xEE));
    back.setColorAt(1, QColor(0xD4, 0xEE, 0xF7));
    p.fillRect(QRectF(0, 0, 360, 220), back);

    QPainterPath shield;
    shield.moveTo(180, 30);
    shield.cubicTo(210, 45, 230, 48, 250, 48);
    shield.cubicTo(250, 120, 230, 165, 180, 192);
    shield.cubicTo(130, 165, 110, 120, 110, 48);
    shield.cubicTo(130, 48, 150, 45, 180, 30);
    p.setBrush(QColor(0x2E, 0x8B, 0x57));
    p.drawPath(shield);

    QPen tick(Qt::white, 12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(tick);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(152, 110), QPointF(174, 132), QPointF(212, 88)}));
}

QByteArray toPng(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

}  // namespace

PageImages::PageImages()
{
    for (int page = 1; page <= kPageCount; ++page) {
        for (int scale = 1; scale <= 3; ++scale) {
            const QString suffix = scale == 1 ? QString() : QStringLiteral("@%1x").arg(scale);
            m_pngs.insert(QStringLiteral("page%1%2.png").arg(page).arg(suffix),
                          toPng(render(page, scale)));
        }
    }
}

std::optional<QByteArray> PageImages::png(const QString &name) const
{
    const auto found = m_pngs.constFind(name);
    if (found == m_pngs.constEnd())
        return std::nullopt;
    return *found;
}

QStringList PageImages::names() const
{
    QStringList list = m_pngs.keys();
    list.sort();
    return list;
}

QImage PageImages::render(int page, int scale)
{
    QImage image(kPointSize * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    painter.setPen(Qt::NoPen);
    switch ((page - 1) % kPageCount) {
    case 0: drawWelcome(painter); break;
    case 1: drawSync(painter); break;
    case 2: drawShare(painter); break;
    default: drawSafe(painter); break;
    }
    painter.end();
    return image;
}

}  // namespace demo
