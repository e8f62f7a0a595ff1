#pragma once
#include "telemetry/CoreGlobal.h"

#include "engine/QSDownloader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <limits>

class QNetworkAccessManager;
class QNetworkReply;

// The half of one download attempt that runs on the download's own thread: its network access
// manager, the reply, the partial file and the idle timer all live there, so a fast body never
// waits for the window to paint and painting never waits for the disk.
//
// Made and prepared on the owner's thread, then moved to the worker thread before begin() runs
// there. From then on only the worker touches it; the owner learns what happens through the
// signals (queued to it) and asks it to stop through the stop flag and the thread's end.
class QSDownloadTransfer : public QObject {
    Q_OBJECT
public:
    // Called on the worker thread, in order: every byte of the body, and the body starting over.
    struct BodyHooks {
        std::function<void(QByteArrayView bytes)> bytes;
        std::function<void()> restarted;
    };

    QSDownloadTransfer(const QUrl &url, const QString &archivePath, const QSDownloadTimeouts &timeouts,
                       const QSResumePoint &resume, BodyHooks hooks, const std::atomic<bool> &stop);
    ~QSDownloadTransfer() override;

    // The longest body this attempt writes (see QSDownloader::setMaximumBytes). Before the move.
    void setMaximumBytes(qint64 bytes) { maximumBytes_ = bytes; }
    // On the owner's thread, before the move: clears the archive's name (and the partial file
    // unless resuming) and opens the partial file, and the bytes to read back when resuming.
    [[nodiscard]] bool prepare(QString *error);
    // On the worker thread: hands over the bytes already on disk, then sends the request.
    void begin();

signals:
    // At most every kProgressInterval, and once more when the body is complete; only for a body
    // that is kept (never for an error page).
    void progressed(qint64 received, qint64 expected);
    // Exactly once, after every body byte has been handed over; no body byte follows it.
    void ended(const QSDownloader::Outcome &outcome);

private:
    void readHead();
    void readBody();
    bool writeBody(QByteArrayView bytes);
    bool replayPartial();
    void replyFinished();
    void fail(int code, const QString &description);
    void finish(const QSDownloader::Outcome &outcome);
    void stopTransfer(bool abortReply = true);
    bool restartBody(bool wholeBodyAgain);
    bool fitsOnDisk();
    bool withinBounds(qint64 more);
    bool batchReady() const;
    void reportProgress(bool always);
    QSDownloader::Outcome baseOutcome() const;

    QUrl url_;
    QString archivePath_;
    QString partialPath_;
    QSDownloadTimeouts timeouts_;
    QSResumePoint resume_;
    BodyHooks hooks_;
    const std::atomic<bool> &stop_;  // set by the owner when it no longer wants anything written
    QNetworkAccessManager *manager_ = nullptr;
    QPointer<QNetworkReply> reply_;
    QFile partial_{this};
    QFile earlier_{this};  // the bytes on disk that a resume continues, read back at begin()
    QTimer idleTimer_{this};
    QByteArray buffer_;  // one read from the reply, reused
    QElapsedTimer sinceProgress_;
    QElapsedTimer sinceTaken_;  // since the body's bytes were last taken from the reply
    QTimer batchTimer_{this};   // takes bytes left waiting when no more come
    qint64 received_ = 0;
    qint64 expected_ = -1;
    qint64 maximumBytes_ = std::numeric_limits<qint64>::max();
    qint64 nextSpaceCheck_ = 0;  // a body without a length looks at the free space again here
    bool rangeAsked_ = false;
    bool headRead_ = false;
    bool resumed_ = false;
    bool restarted_ = false;
    // The answer's body is the archive that will be kept: a 200, or a 206 that continues the bytes
    // on disk. Only such a body moves the progress: an error page is not something being installed.
    bool bodyKept_ = false;
    QByteArray offeredValidator_;  // set when the answer allows a later resume
    std::optional<std::chrono::milliseconds> retryAfter_;
    bool done_ = false;
};
