#include "ui/QSFonts.h"

#include <QFontInfo>

#include <gtest/gtest.h>

namespace {

struct FaceCase {
    const char *face;
    int weight;
};

class Faces : public ::testing::TestWithParam<FaceCase> {};

TEST_P(Faces, MapOntoTheEmbeddedFamilyWithTheirWeight)
{
    ASSERT_TRUE(QSFonts::registerFonts());
    const QFont font = QSFonts::font(QString::fromLatin1(GetParam().face), 16);
    const QFontInfo info(font);
    EXPECT_EQ(info.family(), QStringLiteral("Open Sans"));
    EXPECT_EQ(info.weight(), GetParam().weight);
    EXPECT_EQ(info.pixelSize(), 16);
}

void PrintTo(const FaceCase &c, std::ostream *out)
{
    *out << c.face;
}

INSTANTIATE_TEST_SUITE_P(Names, Faces,
                         ::testing::Values(FaceCase{"CommonSans-Regular", QFont::Normal},
                                           FaceCase{"CommonSans-DemiBold", QFont::DemiBold},
                                           FaceCase{"CommonSans-Bold", QFont::Bold},
                                           FaceCase{"CommonSans-Light", QFont::Light},
                                           FaceCase{"Common Sans", QFont::Normal},
                                           FaceCase{"NoSuchFace", QFont::Normal}));

}  // namespace
