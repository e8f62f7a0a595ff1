#pragma once
// The connecting spinner: a 36-point image that turns clockwise once a second about the spinner's
// centre, from its first drawing until it is destroyed. While it is hidden the animation pauses, so
// a spinner nobody can see costs nothing.

#include "ui/QSImage.h"

#include <QPixmap>
#include <QWidget>

class QVariantAnimation;

class QSSpinner : public QWidget {
    Q_OBJECT
public:
    static constexpr int kImageSize = 36;
    static constexpr int kTurnMilliseconds = 1000;

    explicit QSSpinner(QWidget *parent = nullptr);

    // "connecting_Spinner" for the default portal type "qs", else "connecting_Spinner<portal type>".
    static QString imageNameForPortal(const QString &portalType);

    // Starts turning if it is not already; every finished turn starts the next one.
    void startRefreshAnimation();
    bool isTurning() const;
    qreal angle() const { return angle_; }  // degrees, clockwise
    // The picture in use (empty until the first drawing).
    QString imageName() const { return image_.name(); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void setUpImage();

    QSImage image_;
    QPixmap cache_;  // the image rendered once at the screen's scale
    QVariantAnimation *animation_ = nullptr;
    qreal angle_ = 0;
    bool setUp_ = false;
};
