#pragma once
// ZIP archives written with libarchive, so tests can make archives that no honest tool would
// produce: any file type, any mode, links anywhere.

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>

struct TestZipEntry {
    QString path;
    QByteArray data{};
    mode_t type = 0100000;  // AE_IFREG; AE_IFDIR, AE_IFLNK, AE_IFIFO, ... for the others
    int perm = 0644;
    QString link{};  // the target, for a link
};

// The archive's bytes; only regular files carry their data.
QByteArray testZipBytes(const QList<TestZipEntry> &entries);
