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

// The dark fill grows by 8 points per percent whatever the track's width, over a white track: from
// the left, and right to left mirrored, from the right. Nothing dark shows at 0 %, not even at the
// rounded ends.
TEST(QSProgressView, GeometryAndColoursInBothDirections)
{
    const QColor dark(0x2F, 0x30, 0x34), white(Qt::white);
    const std::tuple<bool, int, float, QRectF, QList<std::pair<int, QColor>>> cases[] = {
        // right to left, width, percent, fill, x -> colour on the bar's middle line
        {false, 800, 50, {0, 0, 400, 22}, {{100, dark}, {600, white}}},
        {false, 600, 100, {0, 0, 800, 22}, {{590, dark}}},  // drawn clipped to the bar
        {false, 600, 0, {0, 0, 0, 22}, {{0, white}, {1, white}, {300, white}, {598, white}, {599, white}}},
        {true, 600, 0, {600, 0, 0, 22}, {{0, white}, {1, white}, {300, white}, {598, white}, {599, white}}},
        {true, 600, 50, {200, 0, 400, 22}, {{100, white}, {300, dark}, {590, dark}}},
        {true, 600, 100, {-200, 0, 800, 22}, {{10, dark}, {590, dark}}},
    };
    for (const auto &[rightToLeft, width, percent, fillWidth, pixels] : cases) {
        SCOPED_TRACE(testing::Message() << (rightToLeft ? "rtl " : "ltr ") << width << " at " << percent);
        TestEnv env;
        env.host.rightToLeft = rightToLeft;
        QSProgressView bar;
        bar.resize(width, 22);
        bar.setCornerRadius(5);  // as while downloading
        bar.setProgress(percent, QStringLiteral("Installing"));
        uitest::saveScreen(bar, QStringLiteral("progress_%1_%2").arg(rightToLeft ? "rtl" : "ltr").arg(percent));
        EXPECT_EQ(bar.progressContainerRect(), QRectF(0, 0, width, 22));
        EXPECT_EQ(bar.progressValueRect(), fillWidth);
        EXPECT_EQ(bar.trackColor(), white);
        EXPECT_EQ(bar.fillColor(), dark);
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
