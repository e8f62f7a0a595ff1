#include "ui/QSColor.h"

#include <gtest/gtest.h>

namespace {

struct HexCase {
    const char *text;
    bool hasColor;
    int red, green, blue;  // 0..255 when hasColor
};

void PrintTo(const HexCase &c, std::ostream *out)
{
    *out << '"' << c.text << '"';
}

class ColorWithHex : public ::testing::TestWithParam<HexCase> {};

TEST_P(ColorWithHex, GivesTheExpectedComponents)
{
    const HexCase &c = GetParam();
    const auto color = QSColor::colorWithHex(QString::fromUtf8(c.text));
    ASSERT_EQ(color.has_value(), c.hasColor) << c.text;
    if (!c.hasColor)
        return;
    EXPECT_NEAR(color->redF(), c.red / 255.0, 1e-4) << c.text;
    EXPECT_NEAR(color->greenF(), c.green / 255.0, 1e-4) << c.text;
    EXPECT_NEAR(color->blueF(), c.blue / 255.0, 1e-4) << c.text;
    EXPECT_EQ(color->alphaF(), 1.0f) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ColorWithHex,
    ::testing::Values(
        HexCase{"#2F3034", true, 47, 48, 52},
        HexCase{"2f3034", true, 47, 48, 52},
        HexCase{"##2F3034", true, 47, 48, 52},      // every '#' goes
        HexCase{"FFF", true, 255, 255, 255},
        HexCase{"#F80", true, 255, 136, 0},         // each digit counts twice
        HexCase{"#FFFFFFFF", false, 0, 0, 0},       // eight digits
        HexCase{"#12345", false, 0, 0, 0},          // five digits
        HexCase{"", false, 0, 0, 0},
        HexCase{"#", false, 0, 0, 0},
        // A pair that does not start with a hex digit gives nothing; the rest move up.
        HexCase{"G01020", true, 16, 32, 0},
        // A pair that starts with one gives the value of its leading digits.
        HexCase{"1G2030", true, 1, 32, 48},
        HexCase{"GGGGGG", true, 0, 0, 0},
        HexCase{"#GGG", true, 0, 0, 0}));

TEST(ColorHex, FallsBackToBlackForABadPaletteText)
{
    EXPECT_EQ(QSColor::hex(QStringLiteral("nope")), QColor(Qt::black));
    EXPECT_EQ(QSColor::hex(QStringLiteral("#6C7078")), QColor(0x6C, 0x70, 0x78));
}

}  // namespace
