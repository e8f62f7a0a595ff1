#pragma once
#include "telemetry/CoreGlobal.h"

#include <QByteArray>
#include <QByteArrayView>

#include <atomic>
#include <mutex>

// The archive on its way to the placement helper's standard input while it downloads: the
// request's header, then the frames of the placement protocol. The body's bytes come from the
// download's thread, the header, restarts and the end from the flow's; each write is whole and
// they never interleave.
//
// The helper may stop reading: a write that has waited for room for kStallLimit gives up and
// closes the stream, so the download never hangs on it (the helper then sees its request end early
// and places nothing). A helper that has gone leaves the stream broken; its end is reported by its
// process, not here.
class QSPlacementStream {
public:
    // Takes the write end of the helper's standard input (made non-blocking here).
    explicit QSPlacementStream(int fd);
    ~QSPlacementStream();
    QSPlacementStream(const QSPlacementStream &) = delete;
    QSPlacementStream &operator=(const QSPlacementStream &) = delete;

    // The first attempt's start sends the header (the signature, and how many attempts there will
    // be at most when attempts is not 0); every later one starts the archive over.
    void beginAttempt(const QByteArray &signatureText, quint64 attempts = 0);
    void append(QByteArrayView bytes);  // from the download's thread
    void restart();                     // the body starts over from its first byte
    // The archive is whole: the end frame, then the stream closes.
    void end(qint64 length);
    // Abandons the request: the helper sees its stream end early. Returns within a tick even while
    // another thread waits to write.
    void close();
    bool isBroken() const { return broken_.load(); }

private:
    void send(QByteArrayView line, QByteArrayView bytes = {});
    // The frame whole; false, with errno set, when the stream broke or was closed meanwhile.
    bool writeFrame(QByteArrayView line, QByteArrayView bytes);

    std::mutex mutex_;  // one writer at a time; close() waits for it
    int fd_ = -1;
    bool headerSent_ = false;
    std::atomic<bool> closing_{false};
    std::atomic<bool> broken_{false};
};
