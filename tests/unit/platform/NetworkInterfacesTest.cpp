// Which interface identifies the machine, and which routing tables mean "online". The same code
// runs against the kernel in tests/integration/platform.

#include "platform/NetworkInterfaces.h"

#include <gtest/gtest.h>

using platform::NetworkInterface;
using platform::NetworkInterfaces;

namespace {

NetworkInterface interface(const char *name, int index, const char *address, int assignType, bool physical)
{
    NetworkInterface result;
    result.name = QString::fromLatin1(name);
    result.index = index;
    result.address = QString::fromLatin1(address);
    result.addressAssignType = assignType;
    result.physical = physical;
    return result;
}

QStringList names(const QList<NetworkInterface> &interfaces)
{
    QStringList result;
    for (const NetworkInterface &each : interfaces)
        result << each.name;
    return result;
}

}  // namespace

TEST(NetworkInterfaces, StableAddressesComeFirstInIndexOrder)
{
    const auto lo = interface("lo", 1, "00:00:00:00:00:00", 0, false);
    const auto ifb0 = interface("ifb0", 2, "fe:27:33:cf:60:aa", 1, false);
    const auto eth0 = interface("eth0", 4, "02:fc:00:00:00:01", 0, true);
    const auto wlp = interface("wlp2s0", 3, "a4:83:e7:0b:1c:2d", 0, true);
    const auto wlpRandom = interface("wlp2s0", 3, "7a:11:22:33:44:55", 3, true);  // a person's or NetworkManager's
    const auto bridge = interface("br-1234", 5, "02:42:ac:11:00:01", 1, false);
    const auto docker = interface("docker0", 6, "02:42:ac:11:00:02", 3, false);
    const auto tunnel = interface("tun0", 7, "", -1, false);
    const auto infiniband = interface("ib0", 8, "80:00:02:08:fe:80:00:00:00:00:00:00:00:02:c9:03:00:0a:8b:3c", 0, true);
    const auto stolen = interface("bond0", 9, "52:54:00:12:34:56", 2, false);
    const struct {
        const char *name;
        QList<NetworkInterface> given;
        QStringList expected;
    } rows[] = {
        {"the device before a random-address interface of a lower index", {lo, ifb0, eth0}, {"eth0", "ifb0"}},
        {"physical permanent by index", {eth0, wlp, bridge}, {"wlp2s0", "eth0", "br-1234"}},
        {"a set address after every permanent one", {docker, wlpRandom, eth0}, {"eth0", "wlp2s0", "docker0"}},
        {"only random and stolen: index order", {stolen, bridge, ifb0}, {"ifb0", "br-1234", "bond0"}},
        {"no usable address at all", {lo, tunnel, infiniband}, {}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(names(NetworkInterfaces::byStability(row.given)), row.expected) << row.name;
    EXPECT_EQ(NetworkInterfaces::listing({eth0}), QStringLiteral("eth0: index 4 state down\n\tether 02:fc:00:00:00:01\n"));
}

TEST(NetworkInterfaces, ADefaultRouteOverAnUpInterfaceForEitherFamily)
{
    const QString ipv4Header = QStringLiteral("Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n");
    const QString ipv4Subnet = QStringLiteral("eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n");
    const QString ipv4Default = QStringLiteral("eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n");
    const QString zero(32, QLatin1Char('0'));
    const QString ipv6Default = QStringLiteral("%1 00 %1 00 fe800000000000000000000000000001 00000400 00000001 00000000 00000003     eth1\n").arg(zero);
    const QString ipv6Link = QStringLiteral("fe800000000000000000000000000000 40 %1 00 %1 00000100 00000001 00000000 00000001     eth1\n").arg(zero);
    // The kernel's own "unreachable" default in the local table, on lo
    const QString ipv6Unreachable = QStringLiteral("%1 00 %1 00 %1 ffffffff 00000001 00000000 00200200       lo\n").arg(zero);
    const QString ipv4Down = QStringLiteral("eth0\t00000000\t010200C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n");  // RTF_UP clear
    const auto upExcept = [](const QString &down) { return [down](const QString &name) { return name != down; }; };
    const struct {
        const char *name;
        QString ipv4, ipv6;
        QString downInterface;
        bool expected;
    } rows[] = {
        {"IPv4 default", ipv4Header + ipv4Subnet + ipv4Default, ipv6Link, {}, true},
        {"IPv4 default over a down interface", ipv4Header + ipv4Default, {}, "eth0", false},
        {"IPv4 route not up", ipv4Header + ipv4Down, {}, {}, false},
        {"only a subnet route", ipv4Header + ipv4Subnet, ipv6Link, {}, false},
        {"IPv6 only", ipv4Header, ipv6Link + ipv6Default, {}, true},
        {"IPv6 default over a down interface", ipv4Header, ipv6Default, "eth1", false},
        {"the unreachable route is not a way out", ipv4Header, ipv6Unreachable, {}, false},
        {"no tables", {}, {}, {}, false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(NetworkInterfaces::hasDefaultRoute(row.ipv4, row.ipv6, upExcept(row.downInterface)), row.expected) << row.name;
}
