#pragma once
// An image view: draws its image scaled to fit, proportions kept, centred.

#include "ui/QSImage.h"

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
};
