#pragma once
// ZIP archives written with libarchive, so tests can make archives that no honest tool would
// produce: any file type, any mode, links anywhere.

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>
#include <ctime>

// Unless type is given: a link when link is set, a folder when the path ends in "/", else a file;
// unless perm is given: 0777, 0755, 0644 by that type.
struct TestZipEntry {
    QString path;
    QByteArray data{};
    QString link{};  // the target, for a link
    int perm = -1;
    mode_t type = 0;  // AE_IFREG, AE_IFDIR, AE_IFLNK, AE_IFIFO, ...
    time_t modified = 0;  // when set, the entry's modification time
};

// The archive's bytes; only regular files carry their data.
QByteArray testZipBytes(const QList<TestZipEntry> &entries);

// The archive as tools that know nothing of libarchive's extra fields write it (Info-ZIP, the
// Mac's own): stored entries whose type and mode only the central directory carries, and with
// dataDescriptors, sizes and checksums only after each entry's data. The first unlisted entries
// are left out of the central directory, as an entry replaced in place leaves its old copy.
QByteArray centralDirectoryModesZipBytes(const QList<TestZipEntry> &entries, bool dataDescriptors,
                                         qsizetype unlisted = 0);

// One deflated file whose local header and central directory both claim claimedSize bytes, whatever
// data inflates to: an archive bomb that lies about its size.
QByteArray lyingDeflateZipBytes(const QString &path, const QByteArray &data, quint32 claimedSize);

// An archive whose local headers and central directory give two different trees, as an attacker
// makes one: the local headers give entries as they are (stored, modes in the directory only),
// then a carrier file at carrierPath; the central directory lists the same entries, but its record
// for hiddenPath (one of them, a file) points at a local header hidden inside the carrier's data,
// whose content is hiddenData instead.
QByteArray hiddenHeaderZipBytes(const QList<TestZipEntry> &entries, const QString &hiddenPath, const QByteArray &hiddenData,
                                const QString &carrierPath);
