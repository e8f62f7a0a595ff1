#pragma once
// An image view that shows the pointing-hand cursor while the mouse is over it.

#include "ui/widgets/QSImageView.h"

class QSClickableImageView : public QSImageView {
    Q_OBJECT
public:
    explicit QSClickableImageView(QWidget *parent = nullptr);
};
