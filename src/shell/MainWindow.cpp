#include "shell/MainWindow.h"

#include "shell/PanelShadow.h"
#include "ui/QSWindowEffects.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

// The window system's own interfaces (Qt's platform headers): the window shape in device pixels
// (X11) and the margins of the visible window (Wayland). Neither has a public Qt API in Qt 6.4.
#include <qpa/qplatformwindow.h>

namespace shell {
namespace {

QPainterPath roundedPath(const QRectF &rect)
{
    QPainterPath path;
    path.addRoundedRect(rect, MainWindow::kCornerRadius, MainWindow::kCornerRadius);
    return path;
}

// The panel paints its own rounded background; the window around it stays transparent.
class RoundedPanel : public QWidget {
public:
    using QWidget::QWidget;
    // Without a shadow the panel's edge would vanish against a light desktop: a hairline marks it.
    void setEdge(const QColor &color) { edge_ = color; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(roundedPath(QRectF(rect())), palette().window());
        if (edge_.isValid()) {
            // One point wide in whole device pixels, inside the same rounded outline that the
            // window's shape cuts, so the edge runs unbroken round the corners at any scale.
            const qreal ratio = devicePixelRatioF();
            const qreal width = qMax(qreal(1), qreal(qRound(ratio))) / ratio;
            const qreal inset = width / 2;
            painter.setPen(QPen(edge_, width));
            painter.drawPath(roundedPath(QRectF(rect()).adjusted(inset, inset, -inset, -inset)));
        }
    }

private:
    QColor edge_;
};

}  // namespace

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(QSWindowEffects::translucencyAvailable(), parent)
{
}

MainWindow::MainWindow(bool translucent, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , shadowMargin_(translucent ? kShadowMargin : 0)
{
    setObjectName(QStringLiteral("mainWindow"));
    setFixedSize(frameSizeFor(translucent));

    auto *panel = new RoundedPanel(this);
    panel_ = panel;
    panel_->setObjectName(QStringLiteral("roundedPanel"));
    if (translucent) {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_NoSystemBackground);
        shadow_ = std::make_unique<PanelShadow>(kShadowMargin, QPoint(0, 4), QColor(0, 0, 0, 90));
    } else {
        // Without a compositing manager nothing shows through a transparent pixel: it comes out
        // black. The window is then exactly the panel, and its shape (a mask the X server keeps)
        // cuts the rounded corners, so what lies outside them is the desktop itself.
        setMask(QRegion(roundedPath(QRectF(rect())).toFillPolygon().toPolygon()));
        panel->setEdge(QColor(0xC9, 0xCB, 0xD2));
    }

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(shadowMargin_, shadowMargin_, shadowMargin_, shadowMargin_);
    outer->addWidget(panel_);
    auto *inner = new QVBoxLayout(panel_);
    const int edge = translucent ? 0 : 1;  // the content leaves the hairline edge visible
    inner->setContentsMargins(edge, edge, edge, edge);
}

MainWindow::~MainWindow() = default;

QSize MainWindow::frameSizeFor(bool translucent)
{
    const int margin = translucent ? kShadowMargin : 0;
    return QSize(kContentWidth + 2 * margin, kContentHeight + 2 * margin);
}

QRegion MainWindow::shapeInDevicePixels(QSize size, qreal ratio)
{
    if (!(ratio > 0))
        ratio = 1;
    const QSizeF device = QSizeF(size) * ratio;
    QPainterPath path;
    path.addRoundedRect(QRectF(QPointF(0, 0), device), kCornerRadius * ratio, kCornerRadius * ratio);
    return QRegion(path.toFillPolygon().toPolygon());
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The window exists on the window system now, not yet mapped: the moment to describe it.
    if (QWindow *window = windowHandle()) {
        connect(window, &QWindow::screenChanged, this, &MainWindow::shapeInDevicePixelsOnScreen, Qt::UniqueConnection);
        tellCompositorThePanel();
    }
    shapeInDevicePixelsOnScreen();
}

void MainWindow::shapeInDevicePixelsOnScreen()
{
    // Qt hands the widget's shape to X11 scaled rectangle by rectangle, so at scale 2 the corners
    // step two pixels at a time. The same outline, cut in the screen's own pixels, replaces it.
    if (shadow_ || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    QWindow *window = windowHandle();
    if (!window || !window->handle())
        return;
    window->handle()->setMask(shapeInDevicePixels(size(), window->devicePixelRatio()));
}

void MainWindow::tellCompositorThePanel()
{
    // A Wayland compositor places, snaps and tiles windows by the geometry the program gives it;
    // without this it would take the transparent band of the shadow for part of the window.
    if (shadow_)
        QSWindowEffects::setVisibleMargins(this, QMargins(shadowMargin_, shadowMargin_, shadowMargin_, shadowMargin_));
}

void MainWindow::paintEvent(QPaintEvent *)
{
    if (!shadow_)
        return;
    // Only the part that needs it is drawn: the painter is clipped to the region being repainted.
    QPainter painter(this);
    shadow_->paint(painter, panel_->pos(), panel_->size(), roundedPath(QRectF(panel_->rect())), devicePixelRatioF());
}

void MainWindow::setContent(QWidget *content)
{
    if (content_ == content)
        return;
    if (content_) {
        content_->removeEventFilter(this);
        delete content_.data();
    }
    content_ = content;
    if (!content_)
        return;
    panel_->layout()->addWidget(content_);
    content_->installEventFilter(this);
    clipContentToPanel();
}

void MainWindow::centreOnScreen()
{
    QScreen *target = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!target || target->availableGeometry().isEmpty())
        return;
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(target->availableGeometry().center());
    move(frame.topLeft());
}

void MainWindow::bringToFront()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A close from the window system (Alt+F4, the taskbar) is the person asking to quit: the
    // content answers it as it answers its own close control, and ignores the event when it asks
    // first. Our own close() ends the application.
    if (event->spontaneous() && content_) {
        QCloseEvent request;
        QCoreApplication::sendEvent(content_, &request);
        if (!request.isAccepted()) {
            event->ignore();
            return;
        }
    }
    event->accept();
    emit closeRequested();
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    // Presses reach the window only when nothing inside took them: that is the background.
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    if (windowHandle() && windowHandle()->startSystemMove())
        return;  // the window manager moves it
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragging_) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    move(event->globalPosition().toPoint() - dragOffset_);
    event->accept();
}

void MainWindow::mouseReleaseEvent(QMouseEvent *event)
{
    if (dragging_ && event->button() == Qt::LeftButton) {
        dragging_ = false;
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == content_ && event->type() == QEvent::Resize)
        clipContentToPanel();
    return QWidget::eventFilter(watched, event);
}

void MainWindow::clipContentToPanel()
{
    // The content may paint its own square background; the mask keeps the corners round.
    if (!content_)
        return;
    const QRect area = content_->rect();
    if (area.isEmpty())
        return;
    content_->setMask(QRegion(roundedPath(QRectF(area)).toFillPolygon().toPolygon()));
}

}  // namespace shell
