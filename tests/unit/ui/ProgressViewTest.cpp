// The progress bar, which draws itself and redraws only the part a step changes.

#include "TestEnv.h"
#include "UiTestSupport.h"

#include "ui/widgets/QSProgressView.h"
#include "ui/widgets/QSStatusLine.h"

#include <QAccessible>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

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
        for (const qreal fill : {0, 400}) {  // 0 % and 50 %
            const QImage image = drawnAt(fill);
            uitest::saveScreen(bar, QStringLiteral("progress_%1_%2").arg(rightToLeft ? "rtl" : "ltr").arg(fill / 8));
            for (const int x : {1, 200, 600, 798}) {
                const QColor at = image.pixelColor(int(x * image.devicePixelRatio()), int(11 * image.devicePixelRatio()));
                EXPECT_EQ(at, fill > 0 && (x < 400) != rightToLeft ? dark : white) << (rightToLeft ? "rtl " : "ltr ") << fill << " x " << x;
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

// A screen reader hears the status line's new text as inserted and the old one as removed.
TEST(QSStatusLine, TellsScreenReadersTheNewStatus)
{
    static QList<QPair<QString, QString>> told;  // (inserted, removed)
    QPlatformAccessibility *platform = QGuiApplicationPrivate::platformIntegration()->accessibility();
    platform->setActive(true);  // as when a screen reader listens
    const auto before = QAccessible::installUpdateHandler([](QAccessibleEvent *event) {
        if (const auto *update = dynamic_cast<QAccessibleTextUpdateEvent *>(event))
            told.append({update->textInserted(), update->textRemoved()});
    });
    QSStatusLine line;
    for (const char *status : {"Downloading", "Installing", "Installing"})  // the same again: nothing told
        line.setStatus(QString::fromLatin1(status));
    QAccessible::installUpdateHandler(before);
    platform->setActive(false);
    EXPECT_EQ(told, (QList<QPair<QString, QString>>{{"Downloading", ""}, {"Installing", "Downloading"}}));
}
