#pragma once
// The two-colour progress bar: a 22-point track and a fill with 5-point corners. The fill grows by
// 8 points per percent. The dark fill over the white track is the part done: it grows from the left
// edge, and right to left it is the same bar mirrored, growing from the right edge. (Drawing right to
// left as a dark track under a shrinking white fill inverts the colours where nothing is done yet
// and leaves grey traces of the fill's rounded ends at 0 %.) The direction is read once, when the
// bar is created.

#include <QColor>
#include <QRect>
#include <QRectF>
#include <QWidget>

class QSProgressView : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal kBarHeight = 22;
    static constexpr qreal kFillRadius = 5;
    static constexpr qreal kPointsPerPercent = 8;

    explicit QSProgressView(QWidget *parent = nullptr);

    // progress in percent; not clamped. The label is accepted for the caller's convenience and not
    // drawn: the window shows its status text in a label of its own.
    void setProgress(float progress, const QString &label);
    float progress() const { return progress_; }

    bool isRightToLeft() const { return rightToLeft_; }
    // The track (progressContainer) and the fill (progressValue) in the bar's coordinates. The
    // fill's width may exceed the track; it is drawn clipped.
    QRectF progressContainerRect() const;
    QRectF progressValueRect() const;
    QColor trackColor() const { return trackColor_; }
    QColor fillColor() const { return fillColor_; }

    // Rounds the whole bar's corners (the window uses 5 while downloading).
    void setCornerRadius(qreal radius);

    // The part of a bar of the given size that looks different once the fill's width changes.
    static QRect changedArea(qreal fromWidth, qreal toWidth, const QSize &bar, bool rightToLeft = false);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void drawLTR();
    void drawRTL();
    qreal fillWidth() const;

    bool rightToLeft_ = false;
    float progress_ = 0;
    qreal cornerRadius_ = 0;
    QColor trackColor_;
    QColor fillColor_;
};
