// The window around the screens: its shape with and without a compositing manager, and its scale
// on a screen too small for it. (A close from the window manager: e2e.window.)

#include "shell/MainWindow.h"
#include "shell/ScreenFit.h"

#include <QImage>

#include <gtest/gtest.h>

// Without a compositing manager a see-through pixel shows black: the window is the panel alone,
// its corners cut by the shape. With one, the shadow shows below the panel.
TEST(MainWindow, TheCornersAreCutWithoutACompositorAndTheShadowShowsWithOne)
{
    shell::MainWindow plain(false);
    EXPECT_FALSE(plain.testAttribute(Qt::WA_TranslucentBackground));
    const QRegion shape = plain.mask();
    const int w = plain.width(), h = plain.height();
    for (const QPoint corner : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
        EXPECT_FALSE(shape.contains(corner)) << corner.x() << "," << corner.y();
    for (const QPoint inside : {QPoint(w / 2, 0), QPoint(0, h / 2), QPoint(w / 2, h - 1), QPoint(w - 1, h / 2),
                                QPoint(8, 8), QPoint(w - 9, h - 9)})
        EXPECT_TRUE(shape.contains(inside)) << inside.x() << "," << inside.y();

    shell::MainWindow composed(true);
    EXPECT_TRUE(composed.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(composed.mask().isEmpty());
    composed.show();
    const QImage drawn = composed.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const int belowPanel = composed.shadowMargin() + shell::MainWindow::kContentHeight + 4;
    EXPECT_GT(qAlpha(drawn.pixel(drawn.width() / 2, int(belowPanel * drawn.devicePixelRatio()))), 10);
    EXPECT_EQ(qAlpha(drawn.pixel(0, 0)), 0);
}

// The shape handed to X11 is cut in the screen's pixels: at scale 2 the corner steps one device pixel
// at a time, not two (which is what scaling the 1-point shape would give).
TEST(MainWindow, WithoutACompositorTheCornersAreCutInDevicePixels)
{
    const QSize size(shell::MainWindow::kContentWidth, shell::MainWindow::kContentHeight);
    for (const qreal ratio : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE(ratio);
        const QRegion shape = shell::MainWindow::shapeInDevicePixels(size, ratio);
        EXPECT_EQ(shape.boundingRect(), QRect(QPoint(0, 0), (QSizeF(size) * ratio).toSize()));
        EXPECT_FALSE(shape.contains(QPoint(0, 0)));
        EXPECT_TRUE(shape.contains(QPoint(int(500 * ratio), 0)));
        const auto leftEdge = [&](int y) {
            int x = 0;
            while (x < 40 && !shape.contains(QPoint(x, y)))
                ++x;
            return x;
        };
        const int cornerRows = int(shell::MainWindow::kCornerRadius * ratio);
        int oddSteps = 0;
        for (int y = 1; y < cornerRows; ++y) {
            EXPECT_LE(leftEdge(y), leftEdge(y - 1)) << "row " << y;  // the curve only widens downwards
            oddSteps += leftEdge(y) % 2;
        }
        EXPECT_GT(oddSteps, 0) << "every row starts on an even pixel: the shape was scaled from points";
    }
}

// A screen whose free area is smaller than the window and its margin draws the whole process at the
// largest scale, in steps of 1/8, at which the window fits; where it fits, the scale stays.
TEST(ScreenFit, AWindowThatDoesNotFitIsDrawnAtTheLargestScaleThatFits)
{
    const QSize plain = shell::MainWindow::frameSizeFor(false);
    const QSize shadowed = shell::MainWindow::frameSizeFor(true);
    const std::tuple<QSize, QSizeF, qreal, qreal> cases[] = {
        // window, screen's free area in device pixels, its scale, the scale the window is drawn at
        {plain, {1920, 1080}, 1, 1},   {plain, {1920, 1080}, 1.25, 1.25}, {plain, {1920, 1080}, 1.5, 1.5},
        {plain, {1920, 1080}, 1.75, 1.5}, {plain, {1920, 1080}, 2, 1.5},
        {plain, {1366, 768}, 1, 1},    {plain, {1366, 768}, 1.25, 1.125}, {plain, {1366, 768}, 2, 1.125},
        {plain, {1024, 600}, 1, 0.875},  // below 1 on a netbook screen
        {shadowed, {1920, 1080}, 2, 1.5}, {shadowed, {3840, 2160}, 3, 3},
        {plain, {100, 60}, 1, 0.125},  // never less than one step
    };
    for (const auto &[window, device, ratio, drawn] : cases) {
        SCOPED_TRACE(testing::Message() << device.width() << "x" << device.height() << " at " << ratio);
        EXPECT_DOUBLE_EQ(ratio * shell::ScreenFit::shrinkFactor(device / ratio, ratio, window), drawn);
    }
    // A screen that reports no size or no scale keeps its scale.
    EXPECT_EQ(shell::ScreenFit::shrinkFactor(QSizeF(), 2, plain), 1);
    EXPECT_EQ(shell::ScreenFit::shrinkFactor(QSizeF(1920, 1080), 0, plain), 1);
    EXPECT_EQ(shell::ScreenFit::shrinkFactor(QSizeF(1920, 1080), qQNaN(), plain), 1);
    EXPECT_EQ(shell::ScreenFit::apply(nullptr, plain), 1);
}
