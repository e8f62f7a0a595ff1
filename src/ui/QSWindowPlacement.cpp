#include "ui/QSWindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace QSWindowPlacement {

void centreOver(QWidget &window, const QWidget *owner)
{
    const QWidget *ownerWindow = owner ? owner->window() : nullptr;
    const bool overOwner = ownerWindow && ownerWindow->isVisible();
    QScreen *screen = overOwner ? ownerWindow->screen() : window.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen || screen->availableGeometry().isEmpty())
        return;
    const QRect area = screen->availableGeometry();
    QRect frame(QPoint(0, 0), window.frameGeometry().size());
    frame.moveCenter(overOwner ? ownerWindow->frameGeometry().center() : area.center());
    // Never partly off the screen, whatever the owner's position.
    frame.moveLeft(qBound(area.left(), frame.left(), qMax(area.left(), area.right() + 1 - frame.width())));
    frame.moveTop(qBound(area.top(), frame.top(), qMax(area.top(), area.bottom() + 1 - frame.height())));
    window.move(frame.topLeft());
}

}  // namespace QSWindowPlacement
