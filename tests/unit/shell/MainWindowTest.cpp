// The window around the screens: its shape with and without a compositing manager, and a close
// from the window system handed to the content as a quit request.

#include "shell/MainWindow.h"

#include <QCloseEvent>
#include <QSignalSpy>
#include <QtTest/qtestspontaneevent.h>

#include <gtest/gtest.h>

namespace {

// Content that answers a close request as the screens do: it asks first (ignores the event).
class AskingContent : public QWidget {
public:
    int requests = 0;
    bool accept = false;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        ++requests;
        event->setAccepted(accept);
    }
};

void closeFromWindowSystem(QWidget &window, QCloseEvent &event)
{
    QSpontaneKeyEvent::setSpontaneous(&event);
    QCoreApplication::instance()->notify(&window, &event);
}

}  // namespace

TEST(MainWindow, WithoutACompositorTheWindowIsThePanelWithItsCornersCut)
{
    shell::MainWindow plain(false);
    EXPECT_EQ(plain.size(), QSize(shell::MainWindow::kContentWidth, shell::MainWindow::kContentHeight));
    EXPECT_EQ(plain.shadowMargin(), 0);
    EXPECT_FALSE(plain.testAttribute(Qt::WA_TranslucentBackground)) << "a see-through pixel shows black";
    const QRegion shape = plain.mask();
    const int w = plain.width(), h = plain.height();
    for (const QPoint corner : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
        EXPECT_FALSE(shape.contains(corner)) << corner.x() << "," << corner.y();
    for (const QPoint inside : {QPoint(w / 2, 0), QPoint(0, h / 2), QPoint(w / 2, h - 1), QPoint(w - 1, h / 2),
                                QPoint(8, 8), QPoint(w - 9, h - 9)})
        EXPECT_TRUE(shape.contains(inside)) << inside.x() << "," << inside.y();

    shell::MainWindow composed(true);
    EXPECT_EQ(composed.size(), QSize(shell::MainWindow::kContentWidth + 2 * shell::MainWindow::kShadowMargin,
                                     shell::MainWindow::kContentHeight + 2 * shell::MainWindow::kShadowMargin));
    EXPECT_TRUE(composed.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(composed.mask().isEmpty());
}

TEST(MainWindow, ACloseFromTheWindowSystemIsAQuitRequestForTheContent)
{
    shell::MainWindow window(false);
    auto *content = new AskingContent;
    window.setContent(content);
    window.show();
    QSignalSpy ends(&window, &shell::MainWindow::closeRequested);

    QCloseEvent asked;
    closeFromWindowSystem(window, asked);
    EXPECT_EQ(content->requests, 1);
    EXPECT_FALSE(asked.isAccepted());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(ends.count(), 0);

    content->accept = true;  // a screen that quits without asking
    QCloseEvent granted;
    closeFromWindowSystem(window, granted);
    EXPECT_EQ(content->requests, 2);
    EXPECT_EQ(ends.count(), 1);

    // The application's own close goes straight to the end, without asking the content.
    shell::MainWindow own(false);
    auto *quiet = new AskingContent;
    own.setContent(quiet);
    own.show();
    QSignalSpy ownEnds(&own, &shell::MainWindow::closeRequested);
    own.close();
    EXPECT_EQ(quiet->requests, 0);
    EXPECT_EQ(ownEnds.count(), 1);
}
