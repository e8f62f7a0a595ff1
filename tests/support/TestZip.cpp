#include "TestZip.h"

#include <archive.h>
#include <archive_entry.h>

static_assert(0100000 == AE_IFREG);

QByteArray testZipBytes(const QList<TestZipEntry> &entries)
{
    QByteArray bytes;
    archive *writer = archive_write_new();
    archive_write_set_format_zip(writer);
    archive_write_set_bytes_in_last_block(writer, 1);
    archive_write_open(writer, &bytes, nullptr, [](archive *, void *buffer, const void *data, size_t length) {
        static_cast<QByteArray *>(buffer)->append(static_cast<const char *>(data), qsizetype(length));
        return la_ssize_t(length);
    }, nullptr);
    for (const TestZipEntry &e : entries) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.path.toUtf8().constData());
        archive_entry_set_filetype(entry, e.type);
        archive_entry_set_perm(entry, e.perm);
        if (e.modified)
            archive_entry_set_mtime(entry, e.modified, 0);
        if (e.type == AE_IFLNK)
            archive_entry_set_symlink(entry, e.link.toUtf8().constData());
        const bool regular = e.type == AE_IFREG;
        archive_entry_set_size(entry, regular ? e.data.size() : 0);
        archive_write_header(writer, entry);
        if (regular)
            archive_write_data(writer, e.data.constData(), size_t(e.data.size()));
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    return bytes;
}

namespace {

quint32 crc32Of(const QByteArray &bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put16(QByteArray &out, quint32 value)
{
    out.append(char(value & 0xff)).append(char((value >> 8) & 0xff));
}

void put32(QByteArray &out, quint32 value)
{
    put16(out, value & 0xffff);
    put16(out, value >> 16);
}

}  // namespace

QByteArray centralDirectoryModesZipBytes(const QList<TestZipEntry> &entries, bool dataDescriptors, qsizetype unlisted)
{
    const quint32 flags = (1u << 11) | (dataDescriptors ? (1u << 3) : 0u);  // UTF-8 names
    QByteArray bytes, central;
    qsizetype index = 0;
    for (const TestZipEntry &e : entries) {
        const QByteArray name = e.path.toUtf8();
        const QByteArray data = e.type == AE_IFLNK ? e.link.toUtf8() : e.type == AE_IFREG ? e.data : QByteArray();
        const quint32 crc = crc32Of(data), size = quint32(data.size()), offset = quint32(bytes.size());
        put32(bytes, 0x04034b50);
        put16(bytes, 20);
        put16(bytes, flags);
        put16(bytes, 0);  // stored
        put32(bytes, 0);  // time and date
        put32(bytes, dataDescriptors ? 0 : crc);
        put32(bytes, dataDescriptors ? 0 : size);
        put32(bytes, dataDescriptors ? 0 : size);
        put16(bytes, quint32(name.size()));
        put16(bytes, 0);
        bytes += name + data;
        if (dataDescriptors) {
            put32(bytes, 0x08074b50);
            put32(bytes, crc);
            put32(bytes, size);
            put32(bytes, size);
        }
        if (index++ < unlisted)
            continue;
        put32(central, 0x02014b50);
        put16(central, (3u << 8) | 20);  // made on Unix
        put16(central, 20);
        put16(central, flags);
        put16(central, 0);
        put32(central, 0);
        put32(central, crc);
        put32(central, size);
        put32(central, size);
        put16(central, quint32(name.size()));
        put32(central, 0);  // extra and comment lengths
        put32(central, 0);  // disk, internal attributes
        put32(central, (quint32(e.type | e.perm) << 16) | (e.type == AE_IFDIR ? 0x10u : 0u));
        put32(central, offset);
        central += name;
    }
    const quint32 centralOffset = quint32(bytes.size());
    bytes += central;
    put32(bytes, 0x06054b50);
    put32(bytes, 0);
    put16(bytes, quint32(entries.size() - unlisted));
    put16(bytes, quint32(entries.size() - unlisted));
    put32(bytes, quint32(central.size()));
    put32(bytes, centralOffset);
    put16(bytes, 0);
    return bytes;
}

QByteArray lyingDeflateZipBytes(const QString &path, const QByteArray &data, quint32 claimedSize)
{
    // qCompress gives a 4-byte length and a zlib stream; ZIP wants the raw deflate data inside it.
    const QByteArray zlib = qCompress(data, 9);
    const QByteArray deflated = zlib.mid(4 + 2, zlib.size() - 4 - 2 - 4);
    const QByteArray name = path.toUtf8();
    const quint32 crc = crc32Of(data);
    QByteArray bytes, central;
    const auto header = [&](QByteArray &out, bool local) {
        put32(out, local ? 0x04034b50 : 0x02014b50);
        if (!local)
            put16(out, (3u << 8) | 20);
        put16(out, 20);
        put16(out, 1u << 11);
        put16(out, 8);  // deflated
        put32(out, 0);
        put32(out, crc);
        put32(out, quint32(deflated.size()));
        put32(out, claimedSize);
        put16(out, quint32(name.size()));
        put16(out, 0);
        if (!local) {
            put32(out, 0);
            put16(out, 0);
            put32(out, quint32(AE_IFREG | 0644) << 16);
            put32(out, 0);
        }
        out += name;
    };
    header(bytes, true);
    bytes += deflated;
    const quint32 centralOffset = quint32(bytes.size());
    header(central, false);
    bytes += central;
    put32(bytes, 0x06054b50);
    put32(bytes, 0);
    put16(bytes, 1);
    put16(bytes, 1);
    put32(bytes, quint32(central.size()));
    put32(bytes, centralOffset);
    put16(bytes, 0);
    return bytes;
}
