#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace archives {

// What the central directory of a finished ZIP archive says about each entry: where its local
// header lies, and the checksum and sizes of its content. Only read to hold the tree that the
// streaming reader made from the local headers against the one a central-directory reader
// (libarchive's seekable one, `bsdtar -x`, `unzip`) makes from the same file; extraction itself is
// libarchive's. Every number is checked against the file's size before it is used.
struct ZipDirectoryRecord {
    QByteArray name;  // as stored
    quint64 headerOffset = 0;
    quint32 crc32 = 0;
    quint64 compressedSize = 0;
    quint64 size = 0;
    quint64 dataOffset = 0;  // first byte after the local header at headerOffset
};

class ZipCentralDirectory {
public:
    // Reads the records, in directory order. Refuses (false with a reason) a directory that does
    // not end the file as its end record says, records that do not fit the file, and entries whose
    // data would reach into another entry's local header or into the directory: a local header
    // hidden inside another entry's data gives two readers two different trees.
    [[nodiscard]] static bool read(const QString &archivePath, QList<ZipDirectoryRecord> *records, QString *error);

    ZipCentralDirectory() = delete;
};

}  // namespace archives
