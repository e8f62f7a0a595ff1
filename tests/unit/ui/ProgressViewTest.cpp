#include "TestEnv.h"

#include "ui/widgets/QSProgressView.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

const QColor kDark(0x2F, 0x30, 0x34);

QColor pixelAt(QSProgressView &bar, int x)
{
    const QImage image = bar.grab().toImage();
    const qreal scale = image.devicePixelRatio();
    return image.pixelColor(int(x * scale), int(11 * scale));
}

TEST(ProgressView, LeftToRightGrowsEightPointsPerPercentFromTheLeft)
{
    TestEnv env;
    QSProgressView bar;
    bar.resize(800, 22);
    ASSERT_FALSE(bar.isRightToLeft());
    EXPECT_EQ(bar.progressValueRect().width(), 0);

    bar.setProgress(50, QStringLiteral("Installing"));
    EXPECT_EQ(bar.progressContainerRect(), QRectF(0, 0, 800, 22));
    EXPECT_EQ(bar.progressValueRect(), QRectF(0, 0, 400, 22));
    EXPECT_EQ(bar.trackColor(), QColor(Qt::white));
    EXPECT_EQ(bar.fillColor(), kDark);
    EXPECT_EQ(pixelAt(bar, 100), kDark);
    EXPECT_EQ(pixelAt(bar, 600), QColor(Qt::white));
}

TEST(ProgressView, FillWidthDoesNotDependOnTheTrackWidth)
{
    TestEnv env;
    QSProgressView bar;
    bar.resize(600, 22);
    bar.setProgress(50, QString());
    EXPECT_EQ(bar.progressValueRect().width(), 400);
    bar.setProgress(100, QString());
    EXPECT_EQ(bar.progressValueRect().width(), 800);  // drawn clipped to the bar
}

TEST(ProgressView, RightToLeftShowsTheDoneDarkPartFromTheRight)
{
    TestEnv env;
    env.host.rightToLeft = true;
    QSProgressView bar;
    bar.resize(600, 22);
    ASSERT_TRUE(bar.isRightToLeft());
    EXPECT_EQ(bar.progressValueRect().width(), 600);  // all white at the start

    bar.setProgress(50, QString());
    EXPECT_EQ(bar.progressValueRect(), QRectF(0, 0, 200, 22));
    EXPECT_EQ(bar.trackColor(), kDark);
    EXPECT_EQ(bar.fillColor(), QColor(Qt::white));
    EXPECT_EQ(pixelAt(bar, 100), QColor(Qt::white));
    EXPECT_EQ(pixelAt(bar, 300), kDark);
    EXPECT_EQ(pixelAt(bar, 590), kDark);
}

TEST(ProgressView, DirectionIsFixedWhenTheBarIsCreated)
{
    TestEnv env;
    QSProgressView bar;
    env.host.rightToLeft = true;
    bar.resize(800, 22);
    bar.setProgress(25, QString());
    EXPECT_FALSE(bar.isRightToLeft());
    EXPECT_EQ(bar.progressValueRect().width(), 200);
}

}  // namespace
