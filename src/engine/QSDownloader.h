#pragma once
#include "telemetry/CoreGlobal.h"

#include "engine/QSResumePoint.h"

#include <QByteArrayView>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <limits>
#include <optional>

class QSDownloadTransfer;
class QThread;

// Time limits of one download attempt. Qt sets none of its own.
struct QSDownloadTimeouts {
    // No byte (and no header) for this long ends the attempt: long enough for a slow mobile link
    // or a server that is still finding the file, short enough that a dead connection is noticed
    // while the user still waits. There is no limit on the whole attempt: a slow but steady link
    // must be able to finish any archive.
    std::chrono::milliseconds idle{std::chrono::seconds(60)};
};

// One download attempt of the product archive: a fresh network access manager (no cache, no
// cookies), the body streamed to a partial file beside the archive and renamed to the archive's
// name once the announced length has arrived. Given a resume point, it asks for the rest of a body
// already partly on disk (Range with If-Range) and appends only a matching partial answer.
//
// The transfer itself (socket reads, file writes, the body hooks) runs on a thread of its own
// (QSDownloadTransfer); this object lives on the thread that made it and reports progress (a few
// dozen times a second at most) and exactly one outcome there.
class QSDownloader : public QObject {
    Q_OBJECT
public:
    struct Outcome {
        enum class Kind {
            Complete,          // a whole body (or an answer judged at its end); see httpStatus
            TransportFailure,  // the transfer broke off; see errorCode and errorDescription
        };
        Kind kind = Kind::Complete;
        bool isHttp = false;  // an HTTP answer with a status code arrived
        // 200 also for a verified partial answer (206) that completed the body on disk.
        int httpStatus = 0;
        QString archivePath;  // Complete: the file holding the body (possibly empty)
        int errorCode = 0;
        QString errorDescription;
        qint64 received = 0;   // bytes of the body on disk, earlier attempts included
        qint64 expected = -1;  // length of the whole body; -1 when none was announced
        // A failed attempt whose bytes stay on disk for the next one; invalid otherwise.
        QSResumePoint resumeFrom;
        bool resumed = false;    // the server continued the body from resumeFrom's bytes
        bool restarted = false;  // a range was asked for but the whole body came again
        std::optional<std::chrono::milliseconds> retryAfter;  // the answer's Retry-After
        QString proxy;  // "host:port" of the proxy the request went through; empty when direct
    };

    // Codes of failures found here rather than by the network layer (QNetworkReply::NetworkError
    // values are positive).
    static constexpr int kLocalFileError = -1;
    static constexpr int kNoSpaceError = -2;  // the archive does not fit where it is written

    QSDownloader(const QUrl &url, const QString &archivePath, const QSDownloadTimeouts &timeouts,
                 QObject *parent = nullptr);
    ~QSDownloader() override;

    // Called on this object's thread. The downloader may be deleted from within onFinished.
    std::function<void(qint64 received, qint64 expected)> onProgress;
    std::function<void(const Outcome &outcome)> onFinished;
    // Called on the transfer's thread, in order, all before onFinished, and never once cancel()
    // has returned. Every byte of the body in order, from the first, whatever the resumes: bytes
    // already on disk are read back and handed over first, before any new byte. onBodyRestarted
    // comes when the body starts again from its first byte (the server sent it whole). Both are
    // taken at start(): setting them later changes nothing.
    std::function<void(QByteArrayView bytes)> onBodyBytes;
    std::function<void()> onBodyRestarted;

    // Continue the body from these bytes on disk (when they are still there) instead of
    // starting over. Set before start().
    void setResumePoint(const QSResumePoint &resume) { resume_ = resume; }
    // The longest body written: a longer one, announced or not, is cut off and the attempt fails
    // as a body longer than its announced length does. Set before start().
    void setMaximumBytes(qint64 bytes) { maximumBytes_ = bytes; }

    // Clears the archive's name (and the partial file unless resuming) and sends the request.
    // False with a reason when the attempt cannot start (the address is not http or https, the
    // partial file cannot be opened); onFinished is not called then.
    [[nodiscard]] bool start(QString *error);
    // Stops without reporting and removes the partial file (and an archive this attempt finished
    // but has not reported yet). When it returns, the transfer's thread has ended and nothing
    // writes those files any more.
    void cancel();

private:
    void transferProgressed(qint64 received, qint64 expected);
    void transferEnded(const Outcome &outcome);
    void stopThread();

    QUrl url_;
    QString archivePath_;
    QSDownloadTimeouts timeouts_;
    QSResumePoint resume_;
    qint64 maximumBytes_ = std::numeric_limits<qint64>::max();
    QThread *thread_ = nullptr;
    QPointer<QSDownloadTransfer> transfer_;  // lives on thread_; deleted there as it ends
    std::atomic<bool> stopping_{false};    // read by the transfer before every write
    bool started_ = false;
    bool done_ = false;
};
