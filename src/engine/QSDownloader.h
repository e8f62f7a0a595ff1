#pragma once
#include "telemetry/CoreGlobal.h"

#include <QByteArrayView>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

// Time limits of one download attempt. Qt sets none of its own.
struct QSDownloadTimeouts {
    // No byte (and no header) for this long ends the attempt: long enough for a slow mobile link
    // or a server that is still finding the file, short enough that a dead connection is noticed
    // while the user still waits.
    std::chrono::milliseconds idle{std::chrono::seconds(60)};
    // The whole attempt: a 150 MiB archive needs about an hour at 350 kbit/s. Beyond that the
    // transfer is trickling in a way the idle limit does not see and is better started afresh.
    std::chrono::milliseconds deadline{std::chrono::hours(1)};
};

// One download attempt of the product archive: a fresh network access manager (no cache, no
// cookies), the body streamed to a partial file beside the archive and renamed to the archive's
// name once the announced length has arrived. Reports progress per chunk and exactly one outcome.
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
        int httpStatus = 0;
        QString archivePath;  // Complete: the file holding the body (possibly empty)
        int errorCode = 0;
        QString errorDescription;
        qint64 received = 0;
        qint64 expected = -1;  // announced length; -1 when none was announced
    };

    // Codes of failures found here rather than by the network layer (QNetworkReply::NetworkError
    // values are positive).
    static constexpr int kLocalFileError = -1;

    QSDownloader(const QUrl &url, const QString &archivePath, const QSDownloadTimeouts &timeouts,
                 QObject *parent = nullptr);
    ~QSDownloader() override;

    std::function<void(qint64 received, qint64 expected)> onProgress;
    std::function<void(const Outcome &outcome)> onFinished;
    // Every body byte, in order, as it is written (the signature check hashes them on the way).
    std::function<void(QByteArrayView bytes)> onBodyBytes;

    // Clears the archive and partial names and sends the request. False with a reason when the
    // attempt cannot start (the address is not http or https, the partial file cannot be made);
    // onFinished is not called then.
    [[nodiscard]] bool start(QString *error);
    // Stops without reporting and removes the partial file.
    void cancel();

private:
    void readBody();
    void replyFinished();
    void fail(int code, const QString &description);
    void finish(const Outcome &outcome);
    void stopTransfer(bool abortReply = true);
    void readAnnouncedLength();

    QUrl url_;
    QString archivePath_;
    QString partialPath_;
    QSDownloadTimeouts timeouts_;
    QNetworkAccessManager *manager_ = nullptr;
    QPointer<QNetworkReply> reply_;
    QFile partial_;
    QTimer idleTimer_;
    QTimer deadlineTimer_;
    qint64 received_ = 0;
    qint64 expected_ = -1;
    bool done_ = false;
    // Why the transfer was aborted from here, when it was.
    int abortCode_ = 0;
    QString abortReason_;
};
