#include "platform/NetworkInterfaces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace platform {
namespace {

// Flags of a network device (linux/if.h) and of a route (linux/route.h, linux/ipv6_route.h).
constexpr unsigned kDeviceUp = 0x1;
constexpr unsigned kDeviceLoopback = 0x8;
constexpr unsigned kRouteUp = 0x1;
constexpr unsigned kRouteReject = 0x200;  // "unreachable" and "prohibit" routes

QString readAttribute(const QDir &interface, const QString &name)
{
    QFile file(interface.filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.read(4096)).trimmed();
}

bool isSixByteAddress(const QString &address)
{
    static const QRegularExpression pattern(QStringLiteral("^(?:[0-9a-f]{2}:){5}[0-9a-f]{2}$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern.match(address).hasMatch() && address != QLatin1String("00:00:00:00:00:00");
}

int stabilityRank(const NetworkInterface &interface)
{
    constexpr int kPermanent = 0;
    constexpr int kSetByPerson = 3;
    if (interface.physical && interface.addressAssignType == kPermanent)
        return 0;
    if (interface.addressAssignType == kPermanent || interface.addressAssignType == kSetByPerson)
        return 1;
    return 2;
}

QStringList fieldsOf(const QString &line)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    return line.split(space, Qt::SkipEmptyParts);
}

bool ipv4DefaultRoute(const QString &table, const std::function<bool(const QString &)> &isUp)
{
    // Iface Destination Gateway Flags RefCnt Use Metric Mask ...; one header line.
    const QStringList lines = table.split(QLatin1Char('\n'));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList fields = fieldsOf(lines[i]);
        if (fields.size() < 8)
            continue;
        bool ok = false;
        const unsigned flags = fields[3].toUInt(&ok, 16);
        if (ok && fields[1] == QLatin1String("00000000") && fields[7] == QLatin1String("00000000")
            && (flags & kRouteUp) && !(flags & kRouteReject) && isUp(fields[0]))
            return true;
    }
    return false;
}

bool ipv6DefaultRoute(const QString &table, const std::function<bool(const QString &)> &isUp)
{
    // destination prefix-length source prefix-length next-hop metric refcnt use flags device;
    // no header line.
    const QString anyAddress(32, QLatin1Char('0'));
    for (const QString &line : table.split(QLatin1Char('\n'))) {
        const QStringList fields = fieldsOf(line);
        if (fields.size() < 10)
            continue;
        bool ok = false;
        const unsigned flags = fields[8].toUInt(&ok, 16);
        if (ok && fields[0] == anyAddress && fields[1] == QLatin1String("00") && (flags & kRouteUp)
            && !(flags & kRouteReject) && isUp(fields[9]))
            return true;
    }
    return false;
}

}  // namespace

QList<NetworkInterface> NetworkInterfaces::read(const QString &sysfsNet)
{
    QList<NetworkInterface> interfaces;
    const QDir net(sysfsNet);
    for (const QString &name : net.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        const QDir folder(net.filePath(name));
        NetworkInterface interface;
        interface.name = name;
        interface.index = readAttribute(folder, QStringLiteral("ifindex")).toInt();
        interface.address = readAttribute(folder, QStringLiteral("address"));
        bool known = false;
        const int assignType = readAttribute(folder, QStringLiteral("addr_assign_type")).toInt(&known);
        interface.addressAssignType = known ? assignType : -1;
        interface.physical = QFileInfo(folder.filePath(QStringLiteral("device"))).exists();
        bool flagsKnown = false;
        const unsigned flags = readAttribute(folder, QStringLiteral("flags")).toUInt(&flagsKnown, 16);
        interface.loopback = flagsKnown && (flags & kDeviceLoopback);
        // "unknown" is what interfaces without carrier detection (tunnels, some virtual links)
        // report while they carry traffic.
        const QString state = readAttribute(folder, QStringLiteral("operstate"));
        interface.up = flagsKnown && (flags & kDeviceUp)
                       && (state == QLatin1String("up") || state == QLatin1String("unknown"));
        interfaces << interface;
    }
    std::stable_sort(interfaces.begin(), interfaces.end(),
                     [](const NetworkInterface &a, const NetworkInterface &b) { return a.index < b.index; });
    return interfaces;
}

QList<NetworkInterface> NetworkInterfaces::byStability(const QList<NetworkInterface> &interfaces)
{
    QList<NetworkInterface> usable;
    for (const NetworkInterface &interface : interfaces) {
        if (isSixByteAddress(interface.address))
            usable << interface;
    }
    std::stable_sort(usable.begin(), usable.end(), [](const NetworkInterface &a, const NetworkInterface &b) {
        const int rankA = stabilityRank(a), rankB = stabilityRank(b);
        return rankA != rankB ? rankA < rankB : a.index < b.index;
    });
    return usable;
}

QString NetworkInterfaces::listing(const QList<NetworkInterface> &interfaces)
{
    QString text;
    for (const NetworkInterface &interface : interfaces) {
        text += QStringLiteral("%1: index %2 state %3\n")
                    .arg(interface.name, QString::number(interface.index),
                         interface.up ? QStringLiteral("up") : QStringLiteral("down"));
        if (!interface.address.isEmpty())
            text += QStringLiteral("\tether %1\n").arg(interface.address);
    }
    return text;
}

bool NetworkInterfaces::hasDefaultRoute(const QString &ipv4Table, const QString &ipv6Table,
                                        const std::function<bool(const QString &)> &isUp)
{
    return ipv4DefaultRoute(ipv4Table, isUp) || ipv6DefaultRoute(ipv6Table, isUp);
}

}  // namespace platform
