#include "ui/accessibility/QSAccessibility.h"

#include "ui/accessibility/QSApplicationAccessible.h"
#include "ui/accessibility/QSControlAccessible.h"
#include "ui/accessibility/QSDocumentAccessible.h"
#include "ui/accessibility/QSLinkTextAccessible.h"
#include "ui/accessibility/QSProgressAccessible.h"
#include "ui/accessibility/QSScreenAccessible.h"
#include "ui/accessibility/QSStatusLineAccessible.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSProgressView.h"
#include "ui/widgets/QSStatusLine.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QWindow>
#include <QCoreApplication>
#include <QLayout>
#include <QTextBrowser>
#include <QWidget>

#include <QtGui/private/qhighdpiscaling_p.h>

namespace QSAccessibility {
namespace {

const char *const kDecorative = "qsAccessibleDecorative";

// Qt asks for each class of an object, most derived first, and takes the first interface given.
QAccessibleInterface *interfaceFor(const QString &className, QObject *object)
{
    if (object && object == QCoreApplication::instance())
        return new QSApplicationAccessible;
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    if (className == QLatin1String("HyperlinkTextField"))
        return new QSLinkTextAccessible(static_cast<HyperlinkTextField *>(widget));
    if (className == QLatin1String("QSStatusLine"))
        return new QSStatusLineAccessible(static_cast<QSStatusLine *>(widget));
    // The licence: a document whose text a reader reads and whose links are links.
    if (className == QLatin1String("QTextBrowser"))
        return new QSDocumentAccessible(static_cast<QTextBrowser *>(widget));
    if (className == QLatin1String("QSProgressView"))
        return new QSProgressAccessible(static_cast<QSProgressView *>(widget));
    // The error screen and the quit confirmation interrupt the person: alerts, named by their
    // titles, their messages as descriptions.
    if (className == QLatin1String("QSErrorController") || className == QLatin1String("QSAlertController"))
        return new QSScreenAccessible(widget, QAccessible::AlertMessage);
    if (className == QLatin1String("QSEula"))
        return new QSScreenAccessible(widget, QAccessible::Dialog);
    // Buttons and text labels as Qt has them, placed in device pixels.
    if (className == QLatin1String("QPushButton"))
        return new QSControlAccessible(widget);
    if (className == QLatin1String("QLabel") && static_cast<QLabel *>(widget)->pixmap().isNull())
        return new QSControlAccessible(widget);
    // Every other container of the installer's screens (a plain widget holding a layout): its
    // children in reading order. A window of its own is a window, named by its title.
    if (className == QLatin1String("QWidget") && widget->layout())
        return new QSScreenAccessible(widget, widget->isWindow() ? QAccessible::Window : QAccessible::Client);
    return nullptr;
}

}  // namespace

void install()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(interfaceFor);
}

void setDecorative(QWidget *widget)
{
    widget->setProperty(kDecorative, true);
}

bool isDecorative(const QWidget *widget)
{
    return widget->property(kDecorative).toBool();
}

QRect nativeRect(const QRect &points, const QWidget *widget)
{
    const QWidget *window = widget ? widget->window() : nullptr;
    const QWindow *handle = window ? window->windowHandle() : nullptr;
    return handle ? QHighDpi::toNativePixels(points, handle) : points;
}

QPoint pointFromNative(const QPoint &pixels, const QWidget *widget)
{
    const QWidget *window = widget ? widget->window() : nullptr;
    const QWindow *handle = window ? window->windowHandle() : nullptr;
    return handle ? QHighDpi::fromNativePixels(pixels, handle) : pixels;
}

void announceAlert(QWidget *alert)
{
    if (!QAccessible::isActive())
        return;
    // Qt 6.4 has no announcement of its own. Readers present an alert when it starts showing
    // (AT-SPI "showing" state), which Qt sends for a shown object; the alert event is for the
    // bridges that take it.
    QAccessibleEvent shown(alert, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
    QAccessibleEvent raised(alert, QAccessible::Alert);
    QAccessible::updateAccessibility(&raised);
}

void announceFocusedChild(QWidget *widget)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleInterface *self = QAccessible::queryAccessibleInterface(widget);
    if (QAccessibleInterface *part = self ? self->focusChild() : nullptr) {
        QAccessibleEvent focused(part, QAccessible::Focus);
        QAccessible::updateAccessibility(&focused);
    }
}

}  // namespace QSAccessibility
