// Painting that redraws only part of a widget, or draws from a cached layer, must leave the same
// pixels on the screen as drawing everything again.

#include "TestEnv.h"
#include "UiTestSupport.h"

#include "ui/widgets/QSImageView.h"
#include "ui/widgets/QSProgressView.h"

#include <QPainter>

#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

namespace {

QImage barAt(qreal fillWidth, QSProgressView &bar)
{
    bar.setProgress(float(fillWidth / QSProgressView::kPointsPerPercent), QString());
    return bar.grab().toImage();
}

}  // namespace

// Every pixel that differs between the bar drawn whole at two fill widths lies in the area that a
// change between them redraws: a pixel outside it would stay stale on the screen.
TEST(QSProgressView, TheRedrawnAreaHoldsEveryPixelThatChanges)
{
    const std::pair<qreal, qreal> steps[] = {
        {0, 0.3}, {0.3, 3}, {3, 9.5}, {9.5, 10.5}, {10.5, 11}, {120, 120.4}, {120.4, 133.7},
        {400, 396}, {790, 799}, {799, 805}, {805, 900}, {12, 0}, {-8, 4},
    };
    for (const bool rightToLeft : {false, true}) {
        TestEnv env;
        env.host.rightToLeft = rightToLeft;
        QSProgressView bar;
        bar.resize(800, 22);
        bar.setCornerRadius(5);
        for (const auto &[from, to] : steps) {
            SCOPED_TRACE(testing::Message() << (rightToLeft ? "rtl " : "ltr ") << from << " -> " << to);
            const QImage before = barAt(from, bar);
            const QImage after = barAt(to, bar);
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

// What the window shows after many small steps, each redrawing only its part, is the bar drawn
// whole at the last value.
TEST(QSProgressView, AWindowShowsTheLastValueAfterPartialRedraws)
{
    for (const bool rightToLeft : {false, true}) {
        SCOPED_TRACE(rightToLeft ? "rtl" : "ltr");
        TestEnv env;
        env.host.rightToLeft = rightToLeft;
        QWidget window;
        window.setStyleSheet(QStringLiteral("background: #E8EAF0"));  // the bar is translucent
        auto *layout = new QVBoxLayout(&window);
        auto *bar = new QSProgressView;
        bar->setCornerRadius(5);
        bar->setFixedWidth(800);
        layout->addWidget(bar);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        for (float percent = 0; percent <= 100.5f; percent += 2.37f) {
            bar->setProgress(percent, QStringLiteral("Installing"));
            QCoreApplication::processEvents();
        }
        bar->setProgress(61.3f, QStringLiteral("Installing"));  // and back
        QTest::qWait(20);
        QCoreApplication::processEvents();
        const QImage shown = window.screen()->grabWindow(window.winId()).toImage();
        const QImage whole = window.grab().toImage();
        ASSERT_EQ(shown.size(), whole.size());
        const QRect barArea(bar->mapTo(&window, QPoint(0, 0)) * shown.devicePixelRatio(),
                            bar->size() * shown.devicePixelRatio());
        EXPECT_EQ(shown.copy(barArea).convertToFormat(QImage::Format_RGB32),
                  whole.copy(barArea).convertToFormat(QImage::Format_RGB32));
    }
}

// The image view keeps only its picture's rectangle between paints; what it shows must be the
// picture drawn into the whole view, as before, for raster pictures and drawings alike and for
// slots wider or taller than the picture.
TEST(QSImageView, ShowsThePictureAsDrawnIntoTheWholeView)
{
    QImage raster(360, 220, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < raster.height(); ++y)
        for (int x = 0; x < raster.width(); ++x)
            raster.setPixel(x, y, qRgba(x % 256, y, (x * y) % 256, 255));
    const QSImage pictures[] = {QSImage::fromImage(raster), QSImage::named(QStringLiteral("no_internet"))};
    for (const QSImage &picture : pictures) {
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
            {
                QPainter painter(&expected);
                painter.setRenderHint(QPainter::Antialiasing);
                picture.paint(painter, QRectF(QPointF(0, 0), QSizeF(size)));
            }
            EXPECT_EQ(shown, expected);
        }
    }
}
