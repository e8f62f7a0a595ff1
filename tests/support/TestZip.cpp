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
