#include "ui/QSColor.h"

#include <gtest/gtest.h>

TEST(QSColor, ColorWithHexReadsTheTextAsWritten)
{
    const std::tuple<const char *, bool, int, int, int> cases[] = {
        // text, has a colour, red, green, blue
        {"#2F3034", true, 47, 48, 52},
        {"2f3034", true, 47, 48, 52},
        {"##2F3034", true, 47, 48, 52},  // every '#' goes
        {"FFF", true, 255, 255, 255},
        {"#F80", true, 255, 136, 0},     // each digit counts twice
        {"#FFFFFFFF", false, 0, 0, 0},
        {"#12345", false, 0, 0, 0},
        {"", false, 0, 0, 0},
        {"#", false, 0, 0, 0},
        {"G01020", true, 16, 32, 0},     // a pair not starting with a hex digit gives nothing; the rest move up
        {"1G2030", true, 1, 32, 48},     // a pair starting with one gives its leading digits' value
        {"#GGG", true, 0, 0, 0},
    };
    for (const auto &[text, hasColor, red, green, blue] : cases) {
        const auto color = QSColor::colorWithHex(QString::fromUtf8(text));
        ASSERT_EQ(color.has_value(), hasColor) << text;
        if (!hasColor)
            continue;
        EXPECT_NEAR(color->redF(), red / 255.0, 1e-4) << text;
        EXPECT_NEAR(color->greenF(), green / 255.0, 1e-4) << text;
        EXPECT_NEAR(color->blueF(), blue / 255.0, 1e-4) << text;
        EXPECT_EQ(color->alphaF(), 1.0f) << text;
    }
}
