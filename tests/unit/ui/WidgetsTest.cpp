#include "TestEnv.h"
#include "UiTestSupport.h"

#include "ui/QSColor.h"
#include "ui/QSFonts.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSProgressView.h"

#include <QTest>

TEST(QSColor, ColorWithHexReadsTheTextAsWritten)
{
    const std::tuple<const char *, bool, int, int, int> cases[] = {
        // text, has a colour, red, green, blue
        {"#2F3034", true, 47, 48, 52}, {"2f3034", true, 47, 48, 52}, {"##2F3034", true, 47, 48, 52},  // every '#' goes
        {"#F80", true, 255, 136, 0},  // each digit counts twice
        {"#FFFFFFFF", false, 0, 0, 0}, {"#12345", false, 0, 0, 0}, {"", false, 0, 0, 0},
        {"G01020", true, 16, 32, 0},  // a pair not starting with a hex digit gives nothing; the rest move up
        {"1G2030", true, 1, 32, 48},  // a pair starting with one gives its leading digits' value
    };
    for (const auto &[text, hasColor, red, green, blue] : cases) {
        const auto color = QSColor::colorWithHex(QString::fromUtf8(text));
        ASSERT_EQ(color.has_value(), hasColor) << text;
        EXPECT_EQ(color.value_or(QColor(red, green, blue)).toRgb(), QColor(red, green, blue)) << text;
    }
}

// Left to right the dark fill grows from the left by 8 points per percent whatever the track's
// width; right to left the done (dark) part grows from the right.
TEST(QSProgressView, GeometryAndColoursInBothDirections)
{
    const QColor dark(0x2F, 0x30, 0x34), white(Qt::white);
    const std::tuple<bool, int, float, qreal, QList<std::pair<int, QColor>>> cases[] = {
        // right to left, width, percent, fill width, x -> colour on the bar's middle line
        {false, 800, 50, 400, {{100, dark}, {600, white}}},
        {false, 600, 100, 800, {{590, dark}}},  // drawn clipped to the bar
        {true, 600, 0, 600, {{300, white}}},
        {true, 600, 50, 200, {{100, white}, {300, dark}, {590, dark}}},
    };
    for (const auto &[rightToLeft, width, percent, fillWidth, pixels] : cases) {
        SCOPED_TRACE(testing::Message() << (rightToLeft ? "rtl " : "ltr ") << width << " at " << percent);
        TestEnv env;
        env.host.rightToLeft = rightToLeft;
        QSProgressView bar;
        bar.resize(width, 22);
        bar.setProgress(percent, QStringLiteral("Installing"));
        EXPECT_EQ(bar.progressContainerRect(), QRectF(0, 0, width, 22));
        EXPECT_EQ(bar.progressValueRect(), QRectF(0, 0, fillWidth, 22));
        const QImage image = bar.grab().toImage();
        for (const auto &[x, colour] : pixels)
            EXPECT_EQ(image.pixelColor(int(x * image.devicePixelRatio()), int(11 * image.devicePixelRatio())), colour) << "x " << x;
    }
}

TEST(HyperlinkTextField, AWrappedLinkOpensItsOwnUrlAndPlainTextOpensNothing)
{
    TestEnv env;
    const QFont font = QSFonts::font(QStringLiteral("CommonSans-Regular"), 16);
    const QUrl terms(QStringLiteral("https://terms.example/"));
    QSAttributedString text;
    text.appendPlain(QStringLiteral("Read"), font, Qt::black);
    text.appendLink(QStringLiteral(" the terms of service that apply to every installation"), terms, font, Qt::black, Qt::black);
    HyperlinkTextField field;
    field.setAttributedText(text);
    field.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    field.setFixedSize(180, field.heightForWidth(180));
    field.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&field));
    const int lineHeight = QFontMetrics(font).lineSpacing();
    ASSERT_GE(field.height(), 2 * lineHeight) << "the link must wrap for this test";

    QTest::mouseClick(&field, Qt::LeftButton, {}, QPoint(5, lineHeight / 2));  // on "Read"
    EXPECT_TRUE(env.host.openedUrls.isEmpty());
    QTest::mouseClick(&field, Qt::LeftButton, {}, QPoint(10, lineHeight + lineHeight / 2));
    EXPECT_EQ(env.host.openedUrls, QList<QUrl>{terms});
}
