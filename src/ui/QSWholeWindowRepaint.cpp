#include "ui/QSWholeWindowRepaint.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>
#include <QtMath>

#include <algorithm>

// Qt's platform window knows the window system's own ratio; the repaint manager's record of what
// to repaint is reached only through the widget's private half. Neither has a public API in Qt 6.4.
#include <QtWidgets/private/qwidget_p.h>
#include <qpa/qplatformwindow.h>

namespace {

QWidget *widgetOf(const QWindow *window)
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto found = std::find_if(windows.begin(), windows.end(),
                                    [window](const QWidget *widget) { return widget->windowHandle() == window; });
    return found == windows.end() ? nullptr : *found;
}

}  // namespace

void QSWholeWindowRepaint::install()
{
    if (auto *app = qApp)
        app->installEventFilter(new QSWholeWindowRepaint(app));
}

bool QSWholeWindowRepaint::needed(qreal windowRatio, qreal nativeRatio)
{
    if (!(nativeRatio > 1) || !(windowRatio > 0))
        return false;
    const qreal multiple = windowRatio / nativeRatio;
    return !qFuzzyCompare(multiple, qreal(qRound(multiple)));
}

bool QSWholeWindowRepaint::needed(const QWindow *window)
{
    return window && window->handle() && needed(window->devicePixelRatio(), window->handle()->devicePixelRatio());
}

bool QSWholeWindowRepaint::eventFilter(QObject *watched, QEvent *event)
{
    // An update request reaches the window's widget before it repaints what was marked; an expose
    // reaches its window before the widget repaints what is pending. Either way the whole window
    // is marked first. Marked this way (as when the window is resized) it is painted through every
    // widget, opaque ones too, and no second request is posted while one is under way.
    const QEvent::Type type = event->type();
    if (type != QEvent::UpdateRequest && type != QEvent::Expose)
        return false;
    QWidget *widget = nullptr;
    if (type == QEvent::UpdateRequest && watched->isWidgetType())
        widget = static_cast<QWidget *>(watched);
    else if (type == QEvent::Expose && watched->isWindowType())
        widget = widgetOf(static_cast<QWindow *>(watched));
    if (widget && widget->isWindow() && widget->isVisible() && needed(widget->windowHandle()))
        QWidgetPrivate::get(widget)->invalidateBackingStore(widget->rect());
    return false;
}
