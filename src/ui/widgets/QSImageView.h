#pragma once
// An image view: draws its image scaled to fit, proportions kept, centred. The scaled picture is
// kept between paints: the window repaints often while a download runs, and scaling a large image
// smoothly each time costs more than the download itself.

#include "ui/QSImage.h"

#include <QPixmap>
#include <QWidget>

class QSImageView : public QWidget {
    Q_OBJECT
public:
    explicit QSImageView(QWidget *parent = nullptr);

    void setImage(const QSImage &image);
    const QSImage &image() const { return image_; }
    bool hasImage() const { return !image_.isNull(); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QSImage image_;
    QPixmap cache_;  // the image where it lies in the view, at the current size and pixel ratio
    QSize cacheFor_;
};
