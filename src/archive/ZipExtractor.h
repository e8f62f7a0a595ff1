#pragma once

#include "archive/ArchiveLimits.h"

#include <QList>
#include <QString>

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <limits>

struct archive;

namespace archives {

// What one entry of an archive becomes on disk: enough to tell whether two readings of the same
// archive (its local headers as they stream by, or its central directory) give the same tree.
struct ZipEntrySummary {
    QString name;  // relative, without a trailing "/"
    mode_t type = 0;
    mode_t mode = 0;  // as normalised for the disk
    QString link;
    quint64 size = 0;
    bool operator==(const ZipEntrySummary &) const = default;
};
using ZipEntryList = QList<ZipEntrySummary>;

// Where an entry's local header lay among the bytes read, and the checksum and size of the content
// it gave (a link's content is its target): what the central directory must say of that entry
// for a streamed tree to be the archive's tree.
struct ZipEntryExtent {
    QString name;  // as read, without a trailing "/"
    qint64 headerOffset = -1;
    quint32 crc32 = 0;
    quint64 size = 0;
};
using ZipExtentList = QList<ZipEntryExtent>;

// Extracts a ZIP archive into a destination folder, read by libarchive and written through
// ExtractionWriter, and refuses anything that could escape or harm it: absolute paths, "..",
// names too long or too deep to check, links that lead outside, hard links, device files, FIFOs,
// and more bytes than the space it may use. Modes end normalised (files 0644, or 0755 when
// executable; folders 0755) and every link is checked by resolving it in the tree.
//
// Every path (a finished file, a stream) is held to the bounds of ArchiveLimits.h: at most
// kMaxEntries entries, no entry inflating past the size it declares, all of them together within
// maxExtractedBytes(), and the destination's file system keeping its free margin while it is
// written. A finished file is measured by its central directory before anything is written.
class ZipExtractor {
public:
    void setSpaceLimit(quint64 bytes) { spaceLimit_ = bytes; }
    // The maximum archive size the bounds follow from (limits::kDefaultMaxArchiveBytes unless set).
    void setMaxArchiveBytes(quint64 bytes) { maxArchiveBytes_ = bytes; }
    // limits::kMaxEntries unless lowered (tests reach the bound without writing 100,000 files).
    void setMaxEntries(quint64 entries) { maxEntries_ = entries; }
    // Checked before every entry and every block: once it reads true, extraction stops and fails
    // with wasCancelled() set. The flag is read from the extracting thread only.
    void setCancelFlag(const std::atomic<bool> *cancelled) { cancelled_ = cancelled; }
    bool wasCancelled() const { return wasCancelled_; }

    // The destination is created if needed. On failure, whatever was written stays for the
    // caller to remove and errorString() says why.
    [[nodiscard]] bool extract(const QString &archivePath, const QString &destination);
    QString errorString() const { return error_; }

    // The archive's bytes in order: read points data at the next ones and returns their count,
    // 0 at the end, or -1 when they cannot come (the extraction then fails).
    using StreamSource = std::function<qint64(const char **data)>;
    // Extracts from bytes as they arrive, reading only the local headers (libarchive's streaming
    // reader), under the same rules as extract().
    [[nodiscard]] bool extractStream(const StreamSource &read, const QString &destination);
    // When set, every entry written is added to it, in archive order.
    void recordEntries(ZipEntryList *entries) { recorded_ = entries; }
    // When set, the extent of every entry written is added to it, in archive order.
    void recordExtents(ZipExtentList *extents) { extents_ = extents; }
    // The entries the central directory of a finished archive announces, without their data.
    [[nodiscard]] static bool listEntries(const QString &archivePath, ZipEntryList *entries, QString *error);

    // Entry names are relative, use "/" and never step above the top.
    static bool isSafeRelativePath(const QString &path);
    // Whether a symbolic link at entryPath with the given target stays inside the top folder.
    static bool linkStaysInside(const QString &entryPath, const QString &target);

private:
    bool prepareDestination(const QString &destination, QString *top);
    bool extractFrom(::archive *reader, const QString &top, const QString &source, quint64 maxTotal);
    // The finished archive's central directory against the bounds, before anything is written.
    bool directoryWithinBounds(const QString &archivePath, const QString &top, quint64 maxTotal);
    // Every few entries and megabytes: whether the destination still keeps its free margin.
    bool marginKept(const QString &top, quint64 entries, quint64 written);
    bool fail(const QString &message);
    bool cancelRequested();

    quint64 spaceLimit_ = std::numeric_limits<quint64>::max();
    quint64 maxArchiveBytes_ = quint64(limits::kDefaultMaxArchiveBytes);
    quint64 maxEntries_ = limits::kMaxEntries;
    quint64 checkedEntries_ = 0;
    quint64 checkedBytes_ = 0;
    QString error_;
    const std::atomic<bool> *cancelled_ = nullptr;
    bool wasCancelled_ = false;
    ZipEntryList *recorded_ = nullptr;
    ZipExtentList *extents_ = nullptr;
};

}  // namespace archives
