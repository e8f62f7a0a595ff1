#pragma once

#include "archive/ZipExtractor.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace archives {

// Extracts a ZIP archive into a folder while its body is still being written to a file: a thread
// reads the file behind the writer with libarchive's streaming reader (the local headers), so
// the archive is unpacked by the time its last byte lands. Nothing is kept in memory beyond one
// read block; the bytes come back from the file (the page cache, in practice).
//
// The streamed tree is only as good as the local headers. finish() therefore compares it, entry
// by entry, with the central directory of the finished file: every streamed entry must have begun
// at the local header that a directory record names, with that record's name, CRC-32 and size,
// and the directory may list nothing else, nor entries whose data hides another's local header.
// Modes and links that only the central directory carries are then mended from it; any other
// difference (a name, a size, a type, a checksum, an entry the streaming reader could not read or
// find the end of) gives the tree up, and the caller extracts the finished file as usual.
class StreamingZipExtraction {
public:
    StreamingZipExtraction(const QString &bodyPath, const QString &destination);
    ~StreamingZipExtraction();  // cancels and waits for the thread
    StreamingZipExtraction(const StreamingZipExtraction &) = delete;
    StreamingZipExtraction &operator=(const StreamingZipExtraction &) = delete;

    void setSpaceLimit(quint64 bytes) { spaceLimit_ = bytes; }
    // Another flag that stops the extraction, read while it waits for or reads bytes.
    void setCancelFlag(const std::atomic<bool> *cancelled) { externalCancel_ = cancelled; }
    // Starts the thread; it waits for bytes. The destination is emptied first.
    void start();

    // From whichever thread writes the body; cheap, never blocks on the extraction.
    // count more bytes of the body are now in the file (written and flushed), after the earlier ones.
    void bytesWritten(qint64 count);
    // The file was emptied: the body starts again from its first byte.
    void restarted();

    // Stops the extraction at its next block; what it wrote stays for the caller to remove.
    void cancel();
    // cancel() and waits until the thread has stopped writing.
    void stop();
    // No more bytes come: waits for the extraction to end and tells whether the destination holds
    // exactly what extracting finishedArchive would give. When not, why says so.
    [[nodiscard]] bool finish(const QString &finishedArchive, QString *why);

private:
    void run();
    qint64 readNext(quint64 generation, const char **data);
    bool stopRequested() const;

    const QString bodyPath_;
    const QString destination_;
    quint64 spaceLimit_ = std::numeric_limits<quint64>::max();
    const std::atomic<bool> *externalCancel_ = nullptr;
    std::thread thread_;

    // Shared with the writer, under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    qint64 available_ = 0;
    quint64 generation_ = 0;  // raised when the body starts over
    bool complete_ = false;
    std::atomic<bool> cancelled_{false};

    int file_ = -1;  // the body's file, opened by the first bytesWritten

    // The extraction thread's own; read by finish() after the join.
    qint64 position_ = 0;
    std::unique_ptr<char[]> block_;
    bool extracted_ = false;
    QString error_;
    ZipEntryList entries_;
    ZipExtentList extents_;
};

}  // namespace archives
