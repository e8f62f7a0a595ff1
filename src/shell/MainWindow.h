#pragma once
// The installer's only window: borderless, holding a rounded panel (corner radius 8) around the
// content. Where a compositing manager runs, the window is see-through around the panel for its
// drop shadow; elsewhere it is the panel alone, with its corners cut by a window shape. It moves
// when its background is dragged. A close from the window system goes to the content first as a
// close event, which the content may ignore (to ask for confirmation); otherwise closing asks the
// application to end (closeRequested). The shape and the edge follow device pixels at any scale,
// and under Wayland the compositor is told that the window is the panel, not its shadow.

#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <memory>

namespace shell {

class PanelShadow;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kContentWidth = 1000;
    static constexpr int kContentHeight = 640;
    static constexpr int kCornerRadius = 8;
    static constexpr int kShadowMargin = 24;  // room around the panel for its shadow, when drawn

    // See-through with a shadow when the window system can compose it.
    explicit MainWindow(QWidget *parent = nullptr);
    explicit MainWindow(bool translucent, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The window's size in points: the panel, with the shadow's band around it when see-through.
    static QSize frameSizeFor(bool translucent);
    // The window's shape without a compositing manager, in device pixels for a window of `size`
    // points drawn at `ratio`: the corners are cut pixel by pixel of the screen, not of the layout.
    static QRegion shapeInDevicePixels(QSize size, qreal ratio);

    // Puts content (taken over) into the rounded panel, replacing any earlier content.
    void setContent(QWidget *content);
    QWidget *content() const { return content_; }
    QWidget *panel() const { return panel_; }
    // Width of the see-through band around the panel (0 without a compositing manager).
    int shadowMargin() const { return shadowMargin_; }

    // Centres the window in the free area of its screen; a screen that reports no area leaves the
    // window where the window system put it.
    void centreOnScreen();
    // Shows the window above the others and asks for the focus.
    void bringToFront();

signals:
    void closeRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void clipContentToPanel();
    void shapeInDevicePixelsOnScreen();
    void tellCompositorThePanel();

    QWidget *panel_ = nullptr;
    std::unique_ptr<PanelShadow> shadow_;  // only where the window is see-through
    int shadowMargin_ = 0;
    QPointer<QWidget> content_;
    bool dragging_ = false;
    QPoint dragOffset_;
};

}  // namespace shell
