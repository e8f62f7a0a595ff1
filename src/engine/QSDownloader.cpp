#include "engine/QSDownloader.h"

#include "engine/QSInstallFiles.h"
#include "engine/QSRetryBackoff.h"
#include "platform/Host.h"
#include "telemetry/QSHttp.h"
#include "telemetry/QSProxy.h"

#include <QDateTime>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

// Reads from the network stay bounded: without a limit Qt buffers a fast body in memory as fast
// as it arrives, whatever the disk does.
constexpr qint64 kReadBufferSize = 1 << 20;

QString seconds(std::chrono::milliseconds duration)
{
    return QString::number(double(duration.count()) / 1000.0);
}

}  // namespace

QSDownloader::QSDownloader(const QUrl &url, const QString &archivePath, const QSDownloadTimeouts &timeouts,
                           QObject *parent)
    : QObject(parent),
      url_(url),
      archivePath_(archivePath),
      partialPath_(QSInstallFiles::partialPathFor(archivePath)),
      timeouts_(timeouts)
{
    idleTimer_.setSingleShot(true);
    connect(&idleTimer_, &QTimer::timeout, this, [this] {
        fail(QNetworkReply::TimeoutError,
             QStringLiteral("No data arrived for %1 seconds").arg(seconds(timeouts_.idle)));
    });
}

QSDownloader::~QSDownloader()
{
    cancel();
}

bool QSDownloader::start(QString *error)
{
    QString ignored;
    if (!error)
        error = &ignored;
    const QString scheme = url_.scheme().toLower();
    if (!url_.isValid() || url_.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        *error = QStringLiteral("not an http or https address: \"%1\"").arg(url_.toString());
        return false;
    }
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
    if (resuming && !replayPartial()) {
        *error = QStringLiteral("cannot read back %1").arg(partialPath_);
        partial_.close();
        QSInstallFiles::removePath(partialPath_);
        return false;
    }

    manager_ = new QNetworkAccessManager(this);
    QSProxy::useSystemProxy(*manager_);
    QNetworkRequest request(url_);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    // The bytes on disk must be the bytes the server announced: no transparent decompression.
    request.setRawHeader("Accept-Encoding", "identity");
    if (resuming) {
        // If-Range: the rest of this very version, or else the whole current one.
        rangeAsked_ = true;
        request.setRawHeader("Range", "bytes=" + QByteArray::number(received_) + '-');
        request.setRawHeader("If-Range", resume_.validator);
    }

    reply_ = manager_->get(request);
    reply_->setReadBufferSize(kReadBufferSize);
    connect(reply_, &QNetworkReply::metaDataChanged, this, [this] {
        // Again now that Qt's HTTP thread holds the request: a limit set before it did can be lost.
        reply_->setReadBufferSize(kReadBufferSize);
        idleTimer_.start(timeouts_.idle);
        readHead();
    });
    connect(reply_, &QNetworkReply::readyRead, this, &QSDownloader::readBody);
    connect(reply_, &QNetworkReply::finished, this, &QSDownloader::replyFinished);
    idleTimer_.start(timeouts_.idle);
    return true;
}

void QSDownloader::cancel()
{
    if (done_)
        return;
    done_ = true;
    stopTransfer();
    partial_.close();
    QSInstallFiles::removePath(partialPath_);
}

bool QSDownloader::replayPartial()
{
    if (!onBodyBytes)
        return true;
    QFile earlier(partialPath_);
    if (!earlier.open(QIODevice::ReadOnly))
        return false;
    qint64 left = resume_.bytes;
    while (left > 0) {
        const QByteArray block = earlier.read(std::min(left, kReadBufferSize));
        if (block.isEmpty())
            return false;
        onBodyBytes(block);
        left -= block.size();
    }
    return true;
}

void QSDownloader::readHead()
{
    if (headRead_ || done_ || !reply_)
        return;
    const QVariant statusValue = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!statusValue.isValid())
        return;  // not an HTTP answer yet (or not one at all)
    headRead_ = true;
    const int status = statusValue.toInt();
    retryAfter_ = QSRetryBackoff::parseRetryAfter(reply_->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc());
    const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
    const qint64 announced = length.isValid() ? length.toLongLong() : -1;

    if (rangeAsked_ && status == 206) {
        // Appended only where it belongs: right after our bytes, of a body of the same length.
        const QByteArray field = reply_->rawHeader("Content-Range");
        const auto range = QSRanges::parseContentRange(field);
        if (!range || range->first != received_ || range->total != resume_.total || range->last != range->total - 1) {
            fail(QNetworkReply::ProtocolFailure,
                 QStringLiteral("The server continued the archive at the wrong place (Content-Range \"%1\", %2 of %3 bytes on disk)")
                     .arg(QString::fromLatin1(field))
                     .arg(received_)
                     .arg(resume_.total));
            return;
        }
        resumed_ = true;
        expected_ = range->total;
        offeredValidator_ = resume_.validator;
    } else {
        // The whole body came (the version changed, or ranges are not served), or an error's
        // body: either way it starts at byte zero.
        if (rangeAsked_ && !restartBody(status == 200))
            return;
        expected_ = announced;
        if (status == 200)
            offeredValidator_ = QSRanges::offeredValidator(reply_->rawHeader("Accept-Ranges"), reply_->rawHeader("ETag"),
                                                          reply_->rawHeader("Last-Modified"));
    }
    if ((status == 200 || status == 206) && !fitsOnDisk())
        return;
}

bool QSDownloader::restartBody(bool wholeBodyAgain)
{
    partial_.flush();
    if (!partial_.resize(0)) {
        fail(kLocalFileError, QStringLiteral("Emptying %1 failed: %2").arg(partialPath_, partial_.errorString()));
        return false;
    }
    received_ = 0;
    restarted_ = wholeBodyAgain;
    if (onBodyRestarted)
        onBodyRestarted();
    return true;
}

bool QSDownloader::fitsOnDisk()
{
    if (expected_ < 0)
        return true;
    const QString folder = QFileInfo(partialPath_).absolutePath();
    const platform::FreeSpace space = platform::host().freeSpace(folder);
    const qint64 needed = expected_ - received_;
    if (!space.ok || quint64(needed) <= space.bytes)
        return true;
    fail(kNoSpaceError, QStringLiteral("The archive needs %1 more bytes in %2, where %3 bytes are free")
                            .arg(needed)
                            .arg(folder)
                            .arg(space.bytes));
    return false;
}

void QSDownloader::readBody()
{
    if (done_ || !reply_)
        return;
    idleTimer_.start(timeouts_.idle);
    readHead();
    if (done_)
        return;
    const QByteArray chunk = reply_->readAll();  // at most the read buffer's size
    if (chunk.isEmpty())
        return;
    if (expected_ >= 0 && received_ + chunk.size() > expected_) {
        fail(QNetworkReply::ProtocolFailure,
             QStringLiteral("The server sent more than the announced %1 bytes").arg(expected_));
        return;
    }
    if (!writeBody(chunk))
        return;
    if (onProgress)
        onProgress(received_, expected_);
    if (done_)
        return;
    if (expected_ >= 0 && received_ == expected_) {
        Outcome outcome = baseOutcome();
        // Every byte is in; the reply may end on its own (aborting it now would make Qt report a
        // second error for an error status). It goes with the access manager.
        stopTransfer(false);
        finish(outcome);
    }
}

// The one place where body bytes reach the disk, and where anyone who needs them sees them.
bool QSDownloader::writeBody(QByteArrayView bytes)
{
    if (partial_.write(bytes.data(), bytes.size()) != bytes.size()) {
        fail(kLocalFileError, QStringLiteral("Writing %1 failed: %2").arg(partialPath_, partial_.errorString()));
        return false;
    }
    received_ += bytes.size();
    // Whoever is handed the bytes may read them back from the file.
    if (onBodyBytes && !partial_.flush()) {
        fail(kLocalFileError, QStringLiteral("Writing %1 failed: %2").arg(partialPath_, partial_.errorString()));
        return false;
    }
    if (onBodyBytes)
        onBodyBytes(bytes);
    return true;
}

void QSDownloader::replyFinished()
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
    const Outcome outcome = baseOutcome();
    stopTransfer();
    finish(outcome);
}

QSDownloader::Outcome QSDownloader::baseOutcome() const
{
    Outcome outcome;
    const QVariant status = reply_ ? reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute) : QVariant();
    outcome.isHttp = status.isValid();
    outcome.httpStatus = status.toInt();
    // A verified continuation completes the same body that a 200 answer would have brought.
    if (resumed_ && outcome.httpStatus == 206)
        outcome.httpStatus = 200;
    return outcome;
}

void QSDownloader::fail(int code, const QString &description)
{
    if (done_)
        return;
    stopTransfer();
    Outcome outcome;
    outcome.kind = Outcome::Kind::TransportFailure;
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

void QSDownloader::finish(const Outcome &given)
{
    Outcome outcome = given;
    outcome.received = received_;
    outcome.expected = expected_;
    outcome.resumed = resumed_;
    outcome.restarted = restarted_;
    outcome.retryAfter = retryAfter_;
    outcome.proxy = QSProxy::proxyFor(url_);
    if (outcome.kind == Outcome::Kind::Complete) {
        // Only a whole body takes the archive's name.
        if (!partial_.flush()) {
            fail(kLocalFileError, QStringLiteral("Writing %1 failed: %2").arg(partialPath_, partial_.errorString()));
            return;
        }
        partial_.close();
        QSInstallFiles::removePath(archivePath_);
        if (!QFile::rename(partialPath_, archivePath_)) {
            fail(kLocalFileError, QStringLiteral("cannot rename %1 to %2").arg(partialPath_, archivePath_));
            return;
        }
        outcome.archivePath = archivePath_;
    }
    done_ = true;
    if (onFinished)
        onFinished(outcome);
}

void QSDownloader::stopTransfer(bool abortReply)
{
    idleTimer_.stop();
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
