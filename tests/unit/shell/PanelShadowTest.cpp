// The window's shadow, drawn once from a cached image, against the shadow Qt's drop-shadow effect
// draws around the same panel: the see-through window must look as it did with the effect.

#include "shell/MainWindow.h"

#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

namespace {

// The panel as the window has it, but with its shadow from Qt's effect.
class EffectPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), shell::MainWindow::kCornerRadius, shell::MainWindow::kCornerRadius);
        painter.fillPath(path, palette().window());
    }
};

int largestChannelDifference(const QImage &a, const QImage &b, QPoint *where)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int d = std::max({std::abs(qAlpha(p) - qAlpha(q)), std::abs(qRed(p) - qRed(q)),
                                    std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
            if (d > largest) {
                largest = d;
                *where = QPoint(x, y);
            }
        }
    }
    return largest;
}

}  // namespace

TEST(PanelShadow, TheSeeThroughWindowLooksAsItDidWithQtsShadowEffect)
{
    shell::MainWindow window(true);
    const int margin = shell::MainWindow::kShadowMargin;

    QWidget reference;
    reference.setAttribute(Qt::WA_TranslucentBackground);
    reference.setFixedSize(window.size());
    auto *panel = new EffectPanel(&reference);
    panel->setGeometry(margin, margin, shell::MainWindow::kContentWidth, shell::MainWindow::kContentHeight);
    auto *effect = new QGraphicsDropShadowEffect(panel);
    effect->setBlurRadius(margin);
    effect->setOffset(0, 4);
    effect->setColor(QColor(0, 0, 0, 90));
    panel->setGraphicsEffect(effect);

    window.show();
    reference.show();
    ASSERT_EQ(window.panel()->geometry(), panel->geometry());
    const QImage ours = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage theirs = reference.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(ours.size(), theirs.size());
    QPoint where;
    EXPECT_LE(largestChannelDifference(ours, theirs, &where), 1) << "at " << where.x() << "," << where.y();
    // The shadow is there at all: below the panel's bottom edge, at its middle.
    EXPECT_GT(qAlpha(ours.pixel(ours.width() / 2, margin + shell::MainWindow::kContentHeight + 4)), 10);
}
