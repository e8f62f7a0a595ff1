#include "TestZip.h"

#include <archive.h>
#include <archive_entry.h>

// The entry with its type and mode filled in.
static TestZipEntry resolved(TestZipEntry e)
{
    if (!e.type)
        e.type = !e.link.isEmpty() ? AE_IFLNK : e.path.endsWith(QLatin1Char('/')) ? AE_IFDIR : AE_IFREG;
    if (e.perm < 0)
        e.perm = e.type == AE_IFLNK ? 0777 : e.type == AE_IFDIR ? 0755 : 0644;
    return e;
}

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
    for (const TestZipEntry &given : entries) {
        const TestZipEntry e = resolved(given);
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

// What an entry holds in the archive: a file's data, a link's target, nothing for a folder.
QByteArray contentOf(const TestZipEntry &e)
{
    return e.type == AE_IFLNK ? e.link.toUtf8() : e.type == AE_IFREG ? e.data : QByteArray();
}

// What the headers say of an entry's data: its checksum, its sizes, stored (0) or deflated (8).
struct Sizes {
    quint32 crc, compressed, uncompressed, method = 0;
};
Sizes stored(const QByteArray &data) { return {crc32Of(data), quint32(data.size()), quint32(data.size())}; }

// An entry's local header and data; with dataDescriptors, its sizes and checksum follow the data instead.
void putLocalEntry(QByteArray &out, const QByteArray &name, const QByteArray &data, quint32 flags, bool dataDescriptors,
                   const Sizes &sizes)
{
    put32(out, 0x04034b50);
    put16(out, 20);
    put16(out, flags);
    put16(out, sizes.method);
    put32(out, 0);  // time and date
    put32(out, dataDescriptors ? 0 : sizes.crc);
    put32(out, dataDescriptors ? 0 : sizes.compressed);
    put32(out, dataDescriptors ? 0 : sizes.uncompressed);
    put16(out, quint32(name.size()));
    put16(out, 0);
    out += name + data;
    if (dataDescriptors) {
        put32(out, 0x08074b50);
        put32(out, sizes.crc);
        put32(out, sizes.compressed);
        put32(out, sizes.uncompressed);
    }
}

// A central directory record for an entry of the given type and mode.
void putRecord(QByteArray &out, const QByteArray &name, const Sizes &sizes, quint32 flags, mode_t type, int perm, quint32 offset)
{
    put32(out, 0x02014b50);
    put16(out, (3u << 8) | 20);  // made on Unix
    put16(out, 20);
    put16(out, flags);
    put16(out, sizes.method);
    put32(out, 0);
    put32(out, sizes.crc);
    put32(out, sizes.compressed);
    put32(out, sizes.uncompressed);
    put16(out, quint32(name.size()));
    put32(out, 0);  // extra and comment lengths
    put32(out, 0);  // disk, internal attributes
    put32(out, (quint32(type | perm) << 16) | (type == AE_IFDIR ? 0x10u : 0u));
    put32(out, offset);
    out += name;
}

void putEnd(QByteArray &out, const QByteArray &central, qsizetype records)
{
    const quint32 centralOffset = quint32(out.size());
    out += central;
    put32(out, 0x06054b50);
    put32(out, 0);
    put16(out, quint32(records));
    put16(out, quint32(records));
    put32(out, quint32(central.size()));
    put32(out, centralOffset);
    put16(out, 0);
}

constexpr quint32 kUtf8Names = 1u << 11;

}  // namespace

QByteArray centralDirectoryModesZipBytes(const QList<TestZipEntry> &entries, bool dataDescriptors, qsizetype unlisted)
{
    const quint32 flags = kUtf8Names | (dataDescriptors ? (1u << 3) : 0u);
    QByteArray bytes, central;
    qsizetype index = 0;
    for (const TestZipEntry &given : entries) {
        const TestZipEntry e = resolved(given);
        const QByteArray name = e.path.toUtf8(), data = contentOf(e);
        const quint32 offset = quint32(bytes.size());
        putLocalEntry(bytes, name, data, flags, dataDescriptors, stored(data));
        if (index++ >= unlisted)
            putRecord(central, name, stored(data), flags, e.type, e.perm, offset);
    }
    putEnd(bytes, central, entries.size() - unlisted);
    return bytes;
}

QByteArray hiddenHeaderZipBytes(const QList<TestZipEntry> &entries, const QString &hiddenPath, const QByteArray &hiddenData,
                                const QString &carrierPath)
{
    QByteArray bytes, central;
    for (const TestZipEntry &given : entries) {
        const TestZipEntry e = resolved(given);
        const QByteArray name = e.path.toUtf8(), data = contentOf(e);
        const quint32 offset = quint32(bytes.size());
        putLocalEntry(bytes, name, data, kUtf8Names, false, stored(data));
        if (e.path != hiddenPath)
            putRecord(central, name, stored(data), kUtf8Names, e.type, e.perm, offset);
    }
    // The carrier's data is a whole local entry of its own: the directory's record for hiddenPath
    // points there, so a reader of the directory finds hiddenData where the stream found the
    // entry's first version.
    QByteArray hidden;
    putLocalEntry(hidden, hiddenPath.toUtf8(), hiddenData, kUtf8Names, false, stored(hiddenData));
    const QByteArray carrierName = carrierPath.toUtf8();
    const quint32 carrierOffset = quint32(bytes.size());
    putLocalEntry(bytes, carrierName, hidden, kUtf8Names, false, stored(hidden));
    putRecord(central, carrierName, stored(hidden), kUtf8Names, AE_IFREG, 0644, carrierOffset);
    putRecord(central, hiddenPath.toUtf8(), stored(hiddenData), kUtf8Names, AE_IFREG, 0755,
              carrierOffset + 30 + quint32(carrierName.size()));
    putEnd(bytes, central, entries.size() + 1);
    return bytes;
}

QByteArray lyingDeflateZipBytes(const QString &path, const QByteArray &data, quint32 claimedSize)
{
    // qCompress gives a 4-byte length and a zlib stream; ZIP wants the raw deflate data inside it.
    const QByteArray zlib = qCompress(data, 9);
    const QByteArray deflated = zlib.mid(4 + 2, zlib.size() - 4 - 2 - 4), name = path.toUtf8();
    const Sizes sizes{crc32Of(data), quint32(deflated.size()), claimedSize, 8};
    QByteArray bytes, central;
    putLocalEntry(bytes, name, deflated, kUtf8Names, false, sizes);
    putRecord(central, name, sizes, kUtf8Names, AE_IFREG, 0644, 0);
    putEnd(bytes, central, 1);
    return bytes;
}
