#include "TestEnv.h"

#include "telemetry/QSPortalProvider.h"

#include <gtest/gtest.h>

// Expected identifiers were computed outside the code:
//   printf '%s' '<mac>_<home>' | sha256sum | cut -c1-36, then positions 8/13/18/23 -> '-',
//   14 -> '4', 19 -> '8'.
TEST(QSPortalProvider, IdentifierMatchesAnIndependentSha256)
{
    EXPECT_EQ(QSPortalProvider::ciFrom(QStringLiteral("52:54:00:12:34:56"), QStringLiteral("/home/tester")),
              QStringLiteral("42a2dcc8-7b52-4ef1-8e71-6785bc036fd2"));
    EXPECT_EQ(QSPortalProvider::ciFrom(QString(), QStringLiteral("/home/tester")),
              QStringLiteral("b7054c9c-4d6e-44ca-8af2-716ed6edca65"));
    // A home folder outside ASCII is hashed as UTF-8.
    EXPECT_EQ(QSPortalProvider::ciFrom(QStringLiteral("a4:83:e7:0b:1c:2d"), QStringLiteral("/Users/jürgen")),
              QStringLiteral("2ecbf872-f4db-4fe4-8934-987a61e928e3"));
}
