#include "ui/widgets/QSClickableImageView.h"

QSClickableImageView::QSClickableImageView(QWidget *parent)
    : QSImageView(parent)
{
    // Qt swaps the cursor on entering and leaving the widget, whichever window is active.
    setCursor(Qt::PointingHandCursor);
}
