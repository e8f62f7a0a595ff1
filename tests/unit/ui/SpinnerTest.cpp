#include "TestEnv.h"

#include "ui/widgets/QSSpinner.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(QSSpinner, ImageNameFollowsThePortalType)
{
    EXPECT_EQ(QSSpinner::imageNameForPortal(QStringLiteral("qs")), QStringLiteral("connecting_Spinner"));
    EXPECT_EQ(QSSpinner::imageNameForPortal(QStringLiteral("bm")), QStringLiteral("connecting_Spinnerbm"));
}

struct PortalCase {
    const char *portalType;  // nullptr: no setting
    const char *imageName;
};

void PrintTo(const PortalCase &c, std::ostream *out)
{
    *out << (c.portalType ? c.portalType : "(none)");
}

class SpinnerPortal : public ::testing::TestWithParam<PortalCase> {};

TEST_P(SpinnerPortal, SetsUpItsImageAndTurnsFromTheFirstDrawing)
{
    TestEnv env;
    if (GetParam().portalType)
        env.setSetting(QStringLiteral("QSPortalType"), QString::fromLatin1(GetParam().portalType));
    QSSpinner spinner;
    spinner.resize(36, 36);
    EXPECT_FALSE(spinner.isTurning());
    spinner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&spinner));
    spinner.repaint();
    EXPECT_EQ(spinner.imageName(), QString::fromLatin1(GetParam().imageName));
    EXPECT_TRUE(spinner.isTurning());

    const qreal start = spinner.angle();
    QTest::qWait(120);
    EXPECT_NE(spinner.angle(), start);

    spinner.hide();
    EXPECT_FALSE(spinner.isTurning());  // paused while nobody can see it
    spinner.show();
    EXPECT_TRUE(spinner.isTurning());
}

INSTANTIATE_TEST_SUITE_P(Portals, SpinnerPortal,
                         ::testing::Values(PortalCase{nullptr, "connecting_Spinner"},
                                           PortalCase{"bm", "connecting_Spinnerbm"},
                                           // a portal without artwork of its own
                                           PortalCase{"zz", "connecting_Spinner"}));

}  // namespace
