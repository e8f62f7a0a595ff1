#include "ui/widgets/QSProgressView.h"

#include "telemetry/QSSystemInfo.h"
#include "ui/QSColor.h"
#include "ui/accessibility/QSProgressAccessible.h"

#include <QAccessible>

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

QSProgressView::QSProgressView(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (QSSystemInfo::isRTL())
        drawRTL();
    else
        drawLTR();
}

void QSProgressView::drawLTR()
{
    rightToLeft_ = false;
    trackColor_ = QSColor::hex(QStringLiteral("#FFFFFF"));
    fillColor_ = QSColor::hex(QStringLiteral("#2F3034"));
}

void QSProgressView::drawRTL()
{
    drawLTR();
    rightToLeft_ = true;
}

void QSProgressView::setProgress(float progress, const QString &label)
{
    Q_UNUSED(label);
    const qreal before = fillWidth();
    const int percentBefore = QSProgressAccessible::percent(progress_);
    progress_ = progress;
    // Screen readers hear the value move by whole percents, not every chunk of the download.
    if (const int percent = QSProgressAccessible::percent(progress_); percent != percentBefore && QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, percent);
        QAccessible::updateAccessibility(&event);
    }
    // Only the fill's moving end is drawn again: a download sets the progress many times a second,
    // and each full repaint would also repaint everything behind this translucent bar.
    const QRect changed = changedArea(before, fillWidth(), size(), rightToLeft_);
    if (changed.isEmpty())
        return;
    const qreal ratio = devicePixelRatioF();
    if (parentWidget() && !qFuzzyCompare(ratio, qreal(qRound(ratio)))) {
        // At a fractional scale the bar's edges fall inside device pixels that it shares with what
        // is behind it; a repaint of part of the bar leaves those rows half old (a seam). The whole
        // bar is drawn again with what is behind it, a point wider on each side.
        parentWidget()->update(geometry().adjusted(-1, -1, 1, 1));
        return;
    }
    update(changed);
}

QRect QSProgressView::changedArea(qreal fromWidth, qreal toWidth, const QSize &bar, bool rightToLeft)
{
    if (rightToLeft) {
        const QRect mirrored = changedArea(fromWidth, toWidth, bar);
        return mirrored.isEmpty() ? mirrored : QRect(bar.width() - mirrored.right() - 1, mirrored.y(), mirrored.width(), mirrored.height());
    }
    const qreal from = qBound(0.0, fromWidth, qreal(bar.width()));
    const qreal to = qBound(0.0, toWidth, qreal(bar.width()));
    if (from == to)
        return {};
    // The fill's end is a rounded cap up to kFillRadius wide; below two radii the cap narrows, so
    // the whole fill changes shape. One pixel either side covers the antialiased edges.
    qreal left = qMin(from, to) - kFillRadius;
    if (left < 2 * kFillRadius)
        left = 0;
    const int x = qMax(0, qFloor(left) - 1);
    const int right = qMin(bar.width(), qCeil(qMax(from, to)) + 1);
    return QRect(x, 0, right - x, bar.height());
}

qreal QSProgressView::fillWidth() const
{
    return kPointsPerPercent * qreal(progress_);
}

QRectF QSProgressView::progressContainerRect() const
{
    return QRectF(0, 0, width(), kBarHeight);
}

QRectF QSProgressView::progressValueRect() const
{
    const qreal done = fillWidth();
    return QRectF(rightToLeft_ ? qreal(width()) - done : 0, 0, done, kBarHeight);
}

void QSProgressView::setCornerRadius(qreal radius)
{
    cornerRadius_ = radius;
    update();
}

QSize QSProgressView::sizeHint() const
{
    return QSize(int(100 * kPointsPerPercent), int(kBarHeight));
}

QSize QSProgressView::minimumSizeHint() const
{
    return QSize(0, int(kBarHeight));
}

void QSProgressView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    if (cornerRadius_ > 0) {
        QPainterPath clip;
        clip.addRoundedRect(rect(), cornerRadius_, cornerRadius_);
        painter.setClipPath(clip);
    } else {
        painter.setClipRect(rect());
    }
    painter.fillRect(progressContainerRect(), trackColor_);
    const QRectF fill = progressValueRect();
    if (fill.width() > 0) {
        const qreal radius = qMin(kFillRadius, fill.width() / 2);
        painter.setBrush(fillColor_);
        painter.drawRoundedRect(fill, radius, radius);
    }
}
