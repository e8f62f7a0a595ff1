#include "ui/widgets/QSClickableTextField.h"

#include <QMouseEvent>

QSClickableTextField::QSClickableTextField(QWidget *parent)
    : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setFocusPolicy(Qt::NoFocus);
}

void QSClickableTextField::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void QSClickableTextField::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
}
