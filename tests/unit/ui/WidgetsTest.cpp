// The widgets that draw for themselves: the progress bar, which redraws only the part a step
// changes, and the image view, which keeps only its picture's rectangle between paints.

#include "TestEnv.h"
#include "UiTestSupport.h"

#include "ui/widgets/QSImageView.h"
#include "ui/widgets/QSProgressView.h"

#include <QPainter>

// The dark fill grows from the left over a white track, and right to left from the right; nothing
// dark shows at 0 %, not even at the rounded ends. Every pixel that differs between the bar drawn
// whole at two fill widths lies in the area that a step between them redraws: a pixel outside it
// would stay stale on the screen.
TEST(QSProgressView, FillsFromTheReadingStartAndRedrawsEveryPixelThatChanges)
{
    const QColor dark(0x2F, 0x30, 0x34), white(Qt::white);
    const std::pair<qreal, qreal> steps[] = {
        {0, 0.3}, {0.3, 3}, {3, 9.5}, {9.5, 10.5}, {10.5, 11}, {120, 120.4}, {120.4, 133.7},
        {400, 396}, {790, 799}, {799, 805}, {805, 900}, {12, 0}, {-8, 4},
    };
    for (const bool rightToLeft : {false, true}) {
        TestEnv env;
        env.host.rightToLeft = rightToLeft;
        QSProgressView bar;
        bar.resize(800, 22);
        bar.setCornerRadius(5);  // as while downloading
        const auto drawnAt = [&bar](qreal fillWidth) {
            bar.setProgress(float(fillWidth / QSProgressView::kPointsPerPercent), QStringLiteral("Installing"));
            return bar.grab().toImage();
        };
        for (const float percent : {0.f, 50.f, 100.f}) {
            SCOPED_TRACE(testing::Message() << (rightToLeft ? "rtl " : "ltr ") << percent << " %");
            const QImage image = drawnAt(percent * QSProgressView::kPointsPerPercent);
            uitest::saveScreen(bar, QStringLiteral("progress_%1_%2").arg(rightToLeft ? "rtl" : "ltr").arg(percent));
            for (const int x : {1, 200, 600, 798}) {
                const bool filled = (rightToLeft ? 800 - x : x) < percent * 8;
                EXPECT_EQ(image.pixelColor(int(x * image.devicePixelRatio()), int(11 * image.devicePixelRatio())), filled ? dark : white)
                    << "x " << x;
            }
        }
        for (const auto &[from, to] : steps) {
            SCOPED_TRACE(testing::Message() << (rightToLeft ? "rtl " : "ltr ") << from << " -> " << to);
            const QImage before = drawnAt(from);
            const QImage after = drawnAt(to);
            const QRect area = QSProgressView::changedArea(from, to, bar.size(), rightToLeft);
            const qreal ratio = after.devicePixelRatio();
            for (int y = 0; y < after.height(); ++y) {
                for (int x = 0; x < after.width(); ++x) {
                    if (before.pixel(x, y) != after.pixel(x, y)) {
                        ASSERT_TRUE(area.contains(QPoint(int(x / ratio), int(y / ratio)))) << "x " << x << " y " << y;
                    }
                }
            }
        }
    }
}

// What the image view shows must be the picture drawn into the whole view, for raster pictures and
// drawings alike and for slots wider or taller than the picture.
TEST(QSImageView, ShowsThePictureAsDrawnIntoTheWholeView)
{
    QImage raster(360, 220, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < raster.height(); ++y)
        for (int x = 0; x < raster.width(); ++x)
            raster.setPixel(x, y, qRgba(x % 256, y, (x * y) % 256, 255));
    for (const QSImage &picture : {QSImage::fromImage(raster), QSImage::named(QStringLiteral("no_internet"))}) {
        ASSERT_FALSE(picture.isNull());
        for (const QSize size : {QSize(601, 220), QSize(360, 333), QSize(250, 97)}) {
            SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
            QSImageView view;
            view.setImage(picture);
            view.resize(size);
            const QImage shown = view.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QImage expected(shown.size(), QImage::Format_ARGB32_Premultiplied);
            expected.setDevicePixelRatio(shown.devicePixelRatio());
            expected.fill(Qt::transparent);
            QPainter painter(&expected);
            painter.setRenderHint(QPainter::Antialiasing);
            picture.paint(painter, QRectF(QPointF(0, 0), QSizeF(size)));
            painter.end();
            EXPECT_EQ(shown, expected);
        }
    }
}
