#include "engine/QSDownloadTransfer.h"

#include "engine/QSInstallFiles.h"
#include "platform/FreeSpaceMargin.h"
#include "platform/Host.h"
#include "telemetry/QSHttp.h"
#include "telemetry/QSProxy.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

// Reads from the network stay bounded: without a limit Qt buffers a fast body in memory as fast
// as it arrives, whatever the disk does. 512 KiB keeps the download's share of the memory at a
// few MiB (the reply's buffer, this side's buffer, the sockets'). It is also how far Qt's HTTP
// thread may read ahead of this one: over TLS, with 256 KiB, it waited for this side so often
// that 1 GiB from a local server took 5.2 s to arrive instead of 4.1 s (1 MiB went over the
// memory the download may add).
constexpr qint64 kReadBufferSize = 512 << 10;
// The window shows a bar, not a byte count: a few dozen updates a second are all it can use.
constexpr qint64 kProgressIntervalMs = 40;
// Over TLS the reply announces every record (16 KiB) on its own. Taken one by one, each is a
// write to the file and a wake-up of the extraction that reads it back: thousands per archive,
// on a machine whose other core is busy decrypting. Bytes are taken once this many wait (half
// the reply's buffer, so the reply never stops for them), or once they have waited for a
// progress interval, so that a slow connection is written and shown as before.
constexpr qint64 kBatchBytes = kReadBufferSize / 2;
// A body without an announced length looks at the free space again after this many bytes.
constexpr qint64 kSpaceCheckInterval = 8 << 20;

QString seconds(std::chrono::milliseconds duration)
{
    return QString::number(double(duration.count()) / 1000.0);
}

}  // namespace

QSDownloadTransfer::QSDownloadTransfer(const QUrl &url, const QString &archivePath, const QSDownloadTimeouts &timeouts,
                                       const QSResumePoint &resume, BodyHooks hooks, const std::atomic<bool> &stop)
    : url_(url),
      archivePath_(archivePath),
      partialPath_(QSInstallFiles::partialPathFor(archivePath)),
      timeouts_(timeouts),
      resume_(resume),
      hooks_(std::move(hooks)),
      stop_(stop)
{
    batchTimer_.setSingleShot(true);
    connect(&batchTimer_, &QTimer::timeout, this, &QSDownloadTransfer::readBody);
    idleTimer_.setSingleShot(true);
    connect(&idleTimer_, &QTimer::timeout, this, [this] {
        fail(QNetworkReply::TimeoutError,
             QStringLiteral("No data arrived for %1 seconds").arg(seconds(timeouts_.idle)));
    });
}

// Runs on the worker thread as it ends (or on the owner's, when the thread never ran): whatever
// is still open closes here, before the owner goes on.
QSDownloadTransfer::~QSDownloadTransfer()
{
    stopTransfer();
    delete manager_;
}

bool QSDownloadTransfer::prepare(QString *error)
{
    // Whatever sits at these names (a file, a folder, a link) goes; nothing there is followed.
    // Only a plain partial file of exactly the expected size is continued.
    QSInstallFiles::removePath(archivePath_);
    const QFileInfo onDisk(partialPath_);
    const bool resuming = resume_.isValid() && onDisk.isFile() && !onDisk.isSymLink() && onDisk.size() == resume_.bytes;
    if (!resuming) {
        resume_ = {};
        QSInstallFiles::removePath(partialPath_);
    }
    partial_.setFileName(partialPath_);
    const QIODevice::OpenMode mode = resuming ? (QIODevice::WriteOnly | QIODevice::Append)
                                              : (QIODevice::WriteOnly | QIODevice::NewOnly);
    if (!partial_.open(mode)) {
        *error = QStringLiteral("cannot open %1: %2").arg(partialPath_, partial_.errorString());
        return false;
    }
    received_ = resuming ? resume_.bytes : 0;
    expected_ = resuming ? resume_.total : -1;
    if (resuming && hooks_.bytes) {
        earlier_.setFileName(partialPath_);
        if (!earlier_.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read back %1").arg(partialPath_);
            partial_.close();
            QSInstallFiles::removePath(partialPath_);
            return false;
        }
    }
    return true;
}

void QSDownloadTransfer::begin()
{
    if (stop_.load())
        return;
    if (!replayPartial())
        return;
    manager_ = new QNetworkAccessManager;
    QSProxy::useSystemProxy(*manager_);
    QNetworkRequest request(url_);
    // No cache on the manager and no cache header on the wire (see QSHttp): a CDN serves the
    // archive from its edge.
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    // The bytes on disk must be the bytes the server announced: no transparent decompression.
    request.setRawHeader("Accept-Encoding", "identity");
    if (resume_.isValid()) {
        // If-Range: the rest of this very version, or else the whole current one.
        rangeAsked_ = true;
        request.setRawHeader("Range", "bytes=" + QByteArray::number(received_) + '-');
        request.setRawHeader("If-Range", resume_.validator);
    }

    buffer_.resize(kReadBufferSize);
    reply_ = manager_->get(request);
    reply_->setReadBufferSize(kReadBufferSize);
    connect(reply_, &QNetworkReply::metaDataChanged, this, [this] {
        // Again now that Qt's HTTP thread holds the request: a limit set before it did can be lost.
        reply_->setReadBufferSize(kReadBufferSize);
        idleTimer_.start(timeouts_.idle);
        readHead();
    });
    connect(reply_, &QNetworkReply::readyRead, this, &QSDownloadTransfer::readBody);
    connect(reply_, &QNetworkReply::finished, this, &QSDownloadTransfer::replyFinished);
    idleTimer_.start(timeouts_.idle);
}

bool QSDownloadTransfer::replayPartial()
{
    if (!earlier_.isOpen())
        return true;
    QByteArray block(kReadBufferSize, Qt::Uninitialized);
    qint64 left = resume_.bytes;
    while (left > 0) {
        if (stop_.load())
            return false;
        const qint64 read = earlier_.read(block.data(), std::min(left, kReadBufferSize));
        if (read <= 0) {
            fail(QSDownloader::kLocalFileError, QStringLiteral("cannot read back %1").arg(partialPath_));
            return false;
        }
        hooks_.bytes(QByteArrayView(block.constData(), read));
        left -= read;
    }
    earlier_.close();
    return true;
}

void QSDownloadTransfer::readBody()
{
    if (done_ || !reply_)
        return;
    idleTimer_.start(timeouts_.idle);
    readHead();
    if (!batchReady()) {
        if (!batchTimer_.isActive())
            batchTimer_.start(kProgressIntervalMs);
        return;
    }
    batchTimer_.stop();
    sinceTaken_.start();
    // Everything the reply holds now, one buffer at a time: no allocation per read.
    while (!done_ && reply_ && reply_->bytesAvailable() > 0) {
        const qint64 size = reply_->read(buffer_.data(), buffer_.size());
        if (size <= 0)
            return;
        if (!withinBounds(size))
            return;
        if (!writeBody(QByteArrayView(buffer_.constData(), size)))
            return;
        if (expected_ >= 0 && received_ == expected_) {
            reportProgress(true);
            QSDownloader::Outcome outcome = baseOutcome();
            // Every byte is in; the reply may end on its own (aborting it now would make Qt report
            // a second error for an error status). It goes with the access manager.
            stopTransfer(false);
            finish(outcome);
            return;
        }
    }
    reportProgress(false);
}

bool QSDownloadTransfer::batchReady() const
{
    const qint64 waiting = reply_->bytesAvailable();
    if (waiting >= kBatchBytes || reply_->isFinished() || !sinceTaken_.isValid()
        || sinceTaken_.elapsed() >= kProgressIntervalMs)
        return true;
    // The last bytes of an announced body are never left waiting for more.
    return expected_ >= 0 && received_ + waiting >= expected_;
}

// Whether more bytes of the body may still be written: never past the announced length, never
// past the largest archive accepted, and, without an announced length, never into the free margin
// of the folder written to (looked at again every few MiB).
bool QSDownloadTransfer::withinBounds(qint64 more)
{
    if (expected_ >= 0 && received_ + more > expected_) {
        fail(QNetworkReply::ProtocolFailure, QStringLiteral("The server sent more than the announced %1 bytes").arg(expected_));
        return false;
    }
    if (received_ + more > maximumBytes_) {
        fail(QNetworkReply::ProtocolFailure,
             QStringLiteral("The server sent more than %1 bytes, the largest archive accepted, without announcing a length")
                 .arg(maximumBytes_));
        return false;
    }
    if (expected_ < 0 && received_ + more >= nextSpaceCheck_) {
        nextSpaceCheck_ = received_ + more + kSpaceCheckInterval;
        const QString folder = QFileInfo(partialPath_).absolutePath();
        const platform::FreeSpace space = platform::host().freeSpace(folder);
        // Enough for every byte until the next look, and the margin after them.
        if (space.ok && space.bytes < quint64(kSpaceCheckInterval) + platform::limits::kFreeMarginBytes) {
            fail(QSDownloader::kNoSpaceError,
                 QStringLiteral("The archive would leave less than %1 bytes free in %2, where %3 bytes are free")
                     .arg(platform::limits::kFreeMarginBytes)
                     .arg(folder)
                     .arg(space.bytes));
            return false;
        }
    }
    return true;
}

// The one place where body bytes reach the disk, and where anyone who needs them sees them.
bool QSDownloadTransfer::writeBody(QByteArrayView bytes)
{
    if (stop_.load()) {
        // The owner is stopping this attempt and removes the partial file: not a byte more.
        done_ = true;
        stopTransfer();
        return false;
    }
    if (partial_.write(bytes.data(), bytes.size()) != bytes.size()) {
        fail(QSDownloader::kLocalFileError, QStringLiteral("Writing %1 failed: %2").arg(partialPath_, partial_.errorString()));
        return false;
    }
    received_ += bytes.size();
    // Whoever is handed the bytes may read them back from the file (the extraction that follows
    // the download does): they must be there first.
    if (hooks_.bytes && !partial_.flush()) {
        fail(QSDownloader::kLocalFileError, QStringLiteral("Writing %1 failed: %2").arg(partialPath_, partial_.errorString()));
        return false;
    }
    if (hooks_.bytes)
        hooks_.bytes(bytes);
    return true;
}

void QSDownloadTransfer::reportProgress(bool always)
{
    if (headRead_ && !bodyKept_)
        return;  // an HTTP answer whose body is not the archive (an answer that is not HTTP has no head)
    if (!always && sinceProgress_.isValid() && sinceProgress_.elapsed() < kProgressIntervalMs)
        return;
    sinceProgress_.start();
    emit progressed(received_, expected_);
}

void QSDownloadTransfer::replyFinished()
{
    if (done_ || !reply_)
        return;
    if (reply_->bytesAvailable() > 0)
        readBody();
    readHead();  // an answer without a body has its head read here
    if (done_)
        return;
    const QNetworkReply::NetworkError error = reply_->error();
    const bool answered = error == QNetworkReply::NoError ||
        (reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() && !QSHttp::isConnectionFailure(int(error)));
    if (!answered) {
        fail(int(error), reply_->errorString());
        return;
    }
    if (expected_ >= 0 && received_ < expected_) {
        fail(QNetworkReply::RemoteHostClosedError,
             QStringLiteral("The transfer ended after %1 of %2 bytes").arg(received_).arg(expected_));
        return;
    }
    // No announced length, or an answer without a body: judged now that it has ended cleanly.
    reportProgress(true);
    const QSDownloader::Outcome outcome = baseOutcome();
    stopTransfer();
    finish(outcome);
}

QSDownloader::Outcome QSDownloadTransfer::baseOutcome() const
{
    QSDownloader::Outcome outcome;
    const QVariant status = reply_ ? reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute) : QVariant();
    outcome.isHttp = status.isValid();
    outcome.httpStatus = status.toInt();
    // A verified continuation completes the same body that a 200 answer would have brought.
    if (resumed_ && outcome.httpStatus == 206)
        outcome.httpStatus = 200;
    return outcome;
}

void QSDownloadTransfer::fail(int code, const QString &description)
{
    if (done_)
        return;
    stopTransfer();
    QSDownloader::Outcome outcome;
    outcome.kind = QSDownloader::Outcome::Kind::TransportFailure;
    outcome.errorCode = code;
    outcome.errorDescription = description;
    // A broken connection leaves good bytes behind; anything else (a misbehaving server, a
    // disk problem) leaves nothing worth continuing. Without an answer (refused, no head) the
    // bytes this attempt was to continue are still good.
    const QByteArray validator = headRead_ ? offeredValidator_ : resume_.validator;
    const bool keep = QSHttp::isConnectionFailure(code) && !validator.isEmpty() && received_ > 0 &&
        expected_ > received_ && partial_.flush();
    partial_.close();
    if (keep)
        outcome.resumeFrom = {received_, expected_, validator};
    else
        QSInstallFiles::removePath(partialPath_);
    finish(outcome);
}

void QSDownloadTransfer::finish(const QSDownloader::Outcome &given)
{
    QSDownloader::Outcome outcome = given;
    outcome.received = received_;
    outcome.expected = expected_;
    outcome.resumed = resumed_;
    outcome.restarted = restarted_;
    outcome.retryAfter = retryAfter_;
    outcome.proxy = QSProxy::proxyFor(url_);
    if (outcome.kind == QSDownloader::Outcome::Kind::Complete) {
        // Only a whole body takes the archive's name.
        if (!partial_.flush()) {
            fail(QSDownloader::kLocalFileError, QStringLiteral("Writing %1 failed: %2").arg(partialPath_, partial_.errorString()));
            return;
        }
        partial_.close();
        QSInstallFiles::removePath(archivePath_);
        if (!QFile::rename(partialPath_, archivePath_)) {
            fail(QSDownloader::kLocalFileError, QStringLiteral("cannot rename %1 to %2").arg(partialPath_, archivePath_));
            return;
        }
        outcome.archivePath = archivePath_;
    }
    done_ = true;
    emit ended(outcome);
}

void QSDownloadTransfer::stopTransfer(bool abortReply)
{
    idleTimer_.stop();
    batchTimer_.stop();
    if (reply_) {
        QNetworkReply *reply = reply_;
        reply_ = nullptr;
        disconnect(reply, nullptr, this, nullptr);
        if (abortReply && !reply->isFinished())
            reply->abort();
        if (abortReply || reply->isFinished())
            reply->deleteLater();
    }
}
