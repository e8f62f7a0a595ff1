#include "TestEnv.h"

#include "telemetry/QSPortalProvider.h"

#include <QRegularExpression>

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

TEST(QSPortalProvider, GetCiUsesTheFirstNonZeroMacAndHomeAndIsStable)
{
    TestEnv env;
    env.host.home = QStringLiteral("/home/tester");
    env.host.listing = QStringLiteral("lo: state unknown\n\tether 00:00:00:00:00:00\neth0: state up\n\tether 52:54:00:12:34:56\n");
    const QString ci = QSPortalProvider::getCi();
    EXPECT_EQ(ci, QStringLiteral("42a2dcc8-7b52-4ef1-8e71-6785bc036fd2"));
    static const QRegularExpression form(QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-8[0-9a-f]{3}-[0-9a-f]{12}$"));
    EXPECT_TRUE(form.match(ci).hasMatch());
    env.host.listing = QStringLiteral("eth1: state up\n\tether 11:22:33:44:55:66\n");
    EXPECT_EQ(QSPortalProvider::getCi(), ci) << "the identifier is made once per process";
    EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("MAC Address 52:54:00:12:34:56")));
    EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("Home directory is /home/tester")));
}
