#pragma once
// The installer's only window: borderless and see-through, holding a rounded panel (corner
// radius 8) with a drop shadow around the content. It moves when its background is dragged.
// Closing it asks the application to end (closeRequested).

#include <QPoint>
#include <QPointer>
#include <QWidget>

namespace shell {

class MainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kContentWidth = 1000;
    static constexpr int kContentHeight = 640;
    static constexpr int kCornerRadius = 8;
    static constexpr int kShadowMargin = 24;  // room around the panel for its shadow

    explicit MainWindow(QWidget *parent = nullptr);

    // Puts content (taken over) into the rounded panel, replacing any earlier content.
    void setContent(QWidget *content);
    QWidget *content() const { return content_; }
    QWidget *panel() const { return panel_; }

    void centreOnScreen();
    // Shows the window above the others and asks for the focus.
    void bringToFront();

signals:
    void closeRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void clipContentToPanel();

    QWidget *panel_ = nullptr;
    QPointer<QWidget> content_;
    bool dragging_ = false;
    QPoint dragOffset_;
};

}  // namespace shell
