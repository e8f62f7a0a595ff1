#include "platform/Localization.h"

#include <gtest/gtest.h>

TEST(Localization, AKeyWithoutTextGivesTheKeyItself)
{
    EXPECT_EQ(platform::localizedString("QSNoSuchKeyAnywhere"), QStringLiteral("QSNoSuchKeyAnywhere"));
}
