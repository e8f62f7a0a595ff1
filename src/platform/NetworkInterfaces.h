#pragma once
// The machine's network interfaces as the kernel shows them in sysfs, and the two questions the
// installer asks of them: which hardware address identifies the machine, and whether a default
// route leaves through an interface that is up.

#include <QList>
#include <QString>

#include <functional>

namespace platform {

struct NetworkInterface {
    QString name;
    int index = 0;
    QString address;         // "52:54:00:12:34:56"; empty when the interface has none
    int addressAssignType = -1;  // addr_assign_type: 0 permanent, 1 random, 2 stolen, 3 set by a person
    bool physical = false;   // backed by a device (sysfs "device" link)
    bool up = false;         // administratively up and carrying traffic
    bool loopback = false;
};

class NetworkInterfaces {
public:
    // Every interface under sysfsNet ("/sys/class/net"), in index order.
    static QList<NetworkInterface> read(const QString &sysfsNet = QStringLiteral("/sys/class/net"));

    // The interfaces with a six-byte, non-zero address, the most stable first: physical with a
    // permanent address; then any whose address is permanent or set by a person; then the rest
    // (random or stolen addresses of bridges, veths, containers' links), only when no stable one
    // exists. Index order inside each group.
    static QList<NetworkInterface> byStability(const QList<NetworkInterface> &interfaces);

    // "ifconfig -a"-shaped text of the interfaces in the given order.
    static QString listing(const QList<NetworkInterface> &interfaces);

    // Whether /proc/net/route (IPv4) or /proc/net/ipv6_route (IPv6) holds a usable default route
    // whose interface isUp says is up.
    static bool hasDefaultRoute(const QString &ipv4Table, const QString &ipv6Table,
                                const std::function<bool(const QString &)> &isUp);

    NetworkInterfaces() = delete;
};

}  // namespace platform
