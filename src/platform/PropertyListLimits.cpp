#include "platform/PropertyListLimits.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace platform {
namespace {

bool refuse(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

// A big-endian unsigned number of 1 to 8 bytes at data[at]; the caller has checked the bounds.
quint64 bigEndian(const QByteArray &data, qsizetype at, int size)
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | quint8(data[at + i]);
    return value;
}

}  // namespace

bool PropertyListLimits::check(const QByteArray &bytes, QString *error)
{
    if (bytes.startsWith("bplist00"))
        return checkBinary(bytes, error);
    return checkXml(bytes, error);
}

bool PropertyListLimits::checkXml(const QByteArray &bytes, QString *error)
{
    // Counts every opening <array> and <dict> (wherever it stands, even in a comment: counting too
    // much only refuses a strange list sooner) and every closing one.
    int depth = 0;
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    for (qsizetype at = bytes.indexOf('<'); at >= 0; at = bytes.indexOf('<', at + 1)) {
        const bool closing = at + 1 < size && data[at + 1] == '/';
        const qsizetype name = at + (closing ? 2 : 1);
        qsizetype length = 0;
        if (size - name >= 5 && std::memcmp(data + name, "array", 5) == 0)
            length = 5;
        else if (size - name >= 4 && std::memcmp(data + name, "dict", 4) == 0)
            length = 4;
        if (length == 0)
            continue;
        if (closing) {
            depth = std::max(depth - 1, 0);
            continue;
        }
        const qsizetype end = bytes.indexOf('>', name + length);
        if (end > 0 && data[end - 1] == '/')
            continue;  // <array/>: empty, nothing inside
        if (++depth > kMaxDepth)
            return refuse(error, QStringLiteral("nested more than %1 levels deep").arg(kMaxDepth));
    }
    return true;
}

bool PropertyListLimits::checkBinary(const QByteArray &bytes, QString *error)
{
    const QString malformed = QStringLiteral("malformed binary property list");
    // Header, at least one object, and the 32-byte trailer.
    constexpr qsizetype kTrailer = 32;
    const qsizetype size = bytes.size();
    if (size < 8 + 1 + kTrailer)
        return refuse(error, malformed);
    const qsizetype trailer = size - kTrailer;
    const int offsetSize = quint8(bytes[trailer + 6]);
    const int refSize = quint8(bytes[trailer + 7]);
    const quint64 objects = bigEndian(bytes, trailer + 8, 8);
    const quint64 root = bigEndian(bytes, trailer + 16, 8);
    const quint64 table = bigEndian(bytes, trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || objects == 0 || root >= objects
        || table < 8 || table > quint64(trailer) || objects > (quint64(trailer) - table) / quint64(offsetSize))
        return refuse(error, malformed);
    if (objects > kMaxNodes)
        return refuse(error, QStringLiteral("more than %1 objects").arg(kMaxNodes));

    // Where an object starts and how many items its marker announces (objects, characters or
    // references); the count may follow the marker as an integer object.
    const auto header = [&](quint64 object, int *type, qsizetype *first, quint64 *count) {
        const quint64 offset = bigEndian(bytes, qsizetype(table + object * quint64(offsetSize)), offsetSize);
        if (offset < 8 || offset >= table)
            return false;
        const quint8 marker = quint8(bytes[qsizetype(offset)]);
        *type = marker >> 4;
        *first = qsizetype(offset) + 1;
        *count = marker & 0xF;
        if (*count == 0xF) {
            if (quint64(*first) >= table || (quint8(bytes[*first]) >> 4) != 0x1)
                return false;
            const int width = 1 << (quint8(bytes[*first]) & 0xF);
            if (width > 8 || quint64(*first) + 1 + quint64(width) > table)
                return false;
            *count = bigEndian(bytes, *first + 1, width);
            *first += 1 + width;
        }
        return true;
    };
    // A dictionary key must be a text without NUL characters: libplist takes any object as a key
    // and aborts when a key is read back whose length is not that of a C string.
    const auto isKeyText = [&](quint64 object) {
        int type = 0;
        qsizetype first = 0;
        quint64 count = 0;
        if (object >= objects || !header(object, &type, &first, &count))
            return false;
        const int unit = type == 0x5 ? 1 : type == 0x6 ? 2 : 0;
        if (unit == 0 || count > (table - quint64(first)) / quint64(unit))
            return false;
        for (qsizetype i = 0; i < qsizetype(count); ++i) {
            if (unit == 1 ? bytes[first + i] == 0 : (bytes[first + 2 * i] == 0 && bytes[first + 2 * i + 1] == 0))
                return false;
        }
        return true;
    };
    // The references of a container object (array, set, dictionary: keys and values alike).
    const auto references = [&](quint64 object, qsizetype *first, quint64 *count) {
        int type = 0;
        quint64 n = 0;
        if (!header(object, &type, first, &n))
            return false;
        if (type != 0xA && type != 0xC && type != 0xD) {
            *count = 0;
            return true;
        }
        if (n > (table - quint64(*first)) / quint64(refSize) / (type == 0xD ? 2 : 1))
            return false;
        if (type == 0xD) {
            for (quint64 k = 0; k < n; ++k) {
                if (!isKeyText(bigEndian(bytes, *first + qsizetype(k * quint64(refSize)), refSize)))
                    return false;
            }
            n *= 2;
        }
        *count = n;
        return true;
    };

    // Depth first from the root without recursion: for each object, how many values it expands
    // to (saturating) and how deep it nests. A cycle is malformed.
    enum : quint8 { Unseen, Open, Done };
    std::vector<quint8> state(objects, Unseen);
    std::vector<quint32> nodes(objects, 0);
    std::vector<quint16> depth(objects, 0);
    struct Frame {
        quint64 object;
        qsizetype first;
        quint64 count;
        quint64 next;
    };
    std::vector<Frame> stack;
    const auto open = [&](quint64 object) {
        Frame frame{object, 0, 0, 0};
        if (!references(object, &frame.first, &frame.count))
            return false;
        state[object] = Open;
        nodes[object] = 1;
        depth[object] = 1;
        stack.push_back(frame);
        return true;
    };
    if (!open(root))
        return refuse(error, malformed);
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.next == frame.count) {
            state[frame.object] = Done;
            stack.pop_back();
            continue;
        }
        const quint64 child = bigEndian(bytes, frame.first + qsizetype(frame.next * quint64(refSize)), refSize);
        ++frame.next;
        if (child >= objects || state[child] == Open)
            return refuse(error, malformed);
        const quint64 parent = frame.object;  // the frame may move when a child is opened
        if (state[child] == Unseen) {
            if (stack.size() >= size_t(kMaxDepth))
                return refuse(error, QStringLiteral("nested more than %1 levels deep").arg(kMaxDepth));
            --stack.back().next;  // come back to add the child once it is done
            if (!open(child))
                return refuse(error, malformed);
            continue;
        }
        nodes[parent] = quint32(std::min<quint64>(quint64(nodes[parent]) + nodes[child], kMaxNodes + 1));
        depth[parent] = std::max<quint16>(depth[parent], quint16(depth[child] + 1));
        if (nodes[parent] > kMaxNodes)
            return refuse(error, QStringLiteral("expands to more than %1 values").arg(kMaxNodes));
        if (depth[parent] > kMaxDepth)
            return refuse(error, QStringLiteral("nested more than %1 levels deep").arg(kMaxDepth));
    }
    return true;
}

}  // namespace platform
