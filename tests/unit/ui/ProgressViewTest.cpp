#include "TestEnv.h"

#include "ui/widgets/QSProgressView.h"

#include <QImage>

#include <gtest/gtest.h>

// Left to right the dark fill grows from the left by 8 points per percent whatever the track's
// width; right to left the done (dark) part grows from the right.
TEST(QSProgressView, GeometryAndColoursInBothDirections)
{
    const QColor dark(0x2F, 0x30, 0x34), white(Qt::white);
    struct Case {
        bool rightToLeft;
        int width;
        float percent;
        qreal fillWidth;
        QList<std::pair<int, QColor>> pixels;  // x -> colour on the bar's middle line
    };
    const QList<Case> cases = {
        {false, 800, 0, 0, {{100, white}}},
        {false, 800, 50, 400, {{100, dark}, {600, white}}},
        {false, 600, 100, 800, {{590, dark}}},  // drawn clipped to the bar
        {true, 600, 0, 600, {{300, white}}},
        {true, 600, 50, 200, {{100, white}, {300, dark}, {590, dark}}},
    };
    for (const Case &c : cases) {
        TestEnv env;
        env.host.rightToLeft = c.rightToLeft;
        QSProgressView bar;
        bar.resize(c.width, 22);
        bar.setProgress(c.percent, QStringLiteral("Installing"));
        SCOPED_TRACE(testing::Message() << (c.rightToLeft ? "rtl " : "ltr ") << c.width << " at " << c.percent);
        EXPECT_EQ(bar.progressContainerRect(), QRectF(0, 0, c.width, 22));
        EXPECT_EQ(bar.progressValueRect(), QRectF(0, 0, c.fillWidth, 22));
        const QImage image = bar.grab().toImage();
        const qreal scale = image.devicePixelRatio();
        for (const auto &[x, colour] : c.pixels)
            EXPECT_EQ(image.pixelColor(int(x * scale), int(11 * scale)), colour) << "x " << x;
    }
}
