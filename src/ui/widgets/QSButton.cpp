#include "ui/widgets/QSButton.h"

#include <QMouseEvent>

QSButton::QSButton(QWidget *parent)
    : QSHoverButton(parent)
{
}

void QSButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && !saved_) {
        saved_ = SavedLook{layerBackgroundColor(), layerBorderColor()};
        QColor background = saved_->background;
        QColor border = saved_->border;
        background.setAlphaF(kPressedAlpha);
        border.setAlphaF(kPressedAlpha);
        setLayerBackgroundColor(background);
        setLayerBorderColor(border);
    }
    QSHoverButton::mousePressEvent(event);
}

void QSButton::mouseReleaseEvent(QMouseEvent *event)
{
    // Restored before the click is delivered: the click's receiver may hide or replace the button.
    if (event->button() == Qt::LeftButton)
        restoreLook();
    QSHoverButton::mouseReleaseEvent(event);
}

void QSButton::hideEvent(QHideEvent *event)
{
    // A button hidden while held never sees its release.
    restoreLook();
    QSHoverButton::hideEvent(event);
}

void QSButton::restoreLook()
{
    if (!saved_)
        return;
    setLayerBackgroundColor(saved_->background);
    setLayerBorderColor(saved_->border);
    saved_.reset();
}
