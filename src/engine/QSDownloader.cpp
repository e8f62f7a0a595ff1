#include "engine/QSDownloader.h"

#include "engine/QSInstallFiles.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

// Reads from the network stay bounded: without a limit Qt buffers a fast body in memory as fast
// as it arrives, whatever the disk does.
constexpr qint64 kReadBufferSize = 1 << 20;

// Errors that Qt derives from an HTTP status: an answer arrived, so the flow judges its status.
bool isHttpStatusError(QNetworkReply::NetworkError error)
{
    const int code = int(error);
    return (code >= 201 && code <= 299) || error == QNetworkReply::ProtocolInvalidOperationError ||
        (code >= 401 && code <= 499);
}

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
    deadlineTimer_.setSingleShot(true);
    connect(&idleTimer_, &QTimer::timeout, this, [this] {
        fail(QNetworkReply::TimeoutError,
             QStringLiteral("No data arrived for %1 seconds").arg(seconds(timeouts_.idle)));
    });
    connect(&deadlineTimer_, &QTimer::timeout, this, [this] {
        fail(QNetworkReply::TimeoutError,
             QStringLiteral("The download did not finish within %1 seconds").arg(seconds(timeouts_.deadline)));
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
    QSInstallFiles::removePath(archivePath_);
    QSInstallFiles::removePath(partialPath_);
    partial_.setFileName(partialPath_);
    if (!partial_.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *error = QStringLiteral("cannot create %1: %2").arg(partialPath_, partial_.errorString());
        return false;
    }

    manager_ = new QNetworkAccessManager(this);
    QNetworkRequest request(url_);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    // The bytes on disk must be the bytes the server announced: no transparent decompression.
    request.setRawHeader("Accept-Encoding", "identity");

    reply_ = manager_->get(request);
    reply_->setReadBufferSize(kReadBufferSize);
    connect(reply_, &QNetworkReply::metaDataChanged, this, [this] {
        idleTimer_.start(timeouts_.idle);
        readAnnouncedLength();
    });
    connect(reply_, &QNetworkReply::readyRead, this, &QSDownloader::readBody);
    connect(reply_, &QNetworkReply::finished, this, &QSDownloader::replyFinished);
    idleTimer_.start(timeouts_.idle);
    deadlineTimer_.start(timeouts_.deadline);
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

void QSDownloader::readAnnouncedLength()
{
    const QVariant length = reply_ ? reply_->header(QNetworkRequest::ContentLengthHeader) : QVariant();
    expected_ = length.isValid() ? length.toLongLong() : -1;
}

void QSDownloader::readBody()
{
    if (done_ || !reply_)
        return;
    idleTimer_.start(timeouts_.idle);
    if (received_ == 0)
        readAnnouncedLength();
    const QByteArray chunk = reply_->readAll();  // at most the read buffer's size
    if (chunk.isEmpty())
        return;
    if (expected_ >= 0 && received_ + chunk.size() > expected_) {
        received_ += chunk.size();
        fail(QNetworkReply::ProtocolFailure,
             QStringLiteral("The server sent more than the announced %1 bytes").arg(expected_));
        return;
    }
    if (partial_.write(chunk) != chunk.size()) {
        fail(kLocalFileError, QStringLiteral("Writing %1 failed: %2").arg(partialPath_, partial_.errorString()));
        return;
    }
    received_ += chunk.size();
    if (onBodyBytes)
        onBodyBytes(chunk);
    if (onProgress)
        onProgress(received_, expected_);
    if (done_)
        return;
    if (expected_ >= 0 && received_ == expected_) {
        Outcome outcome;
        const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        outcome.isHttp = status.isValid();
        outcome.httpStatus = status.toInt();
        // Every byte is in; the reply may end on its own (aborting it now would make Qt report a
        // second error for an error status). It goes with the access manager.
        stopTransfer(false);
        finish(outcome);
    }
}

void QSDownloader::replyFinished()
{
    if (done_ || !reply_)
        return;
    if (reply_->bytesAvailable() > 0)
        readBody();
    if (done_)
        return;
    const QNetworkReply::NetworkError error = reply_->error();
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool answered = error == QNetworkReply::NoError || (status.isValid() && isHttpStatusError(error));
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
    Outcome outcome;
    outcome.isHttp = status.isValid();
    outcome.httpStatus = status.toInt();
    stopTransfer();
    finish(outcome);
}

void QSDownloader::fail(int code, const QString &description)
{
    if (done_)
        return;
    stopTransfer();
    partial_.close();
    QSInstallFiles::removePath(partialPath_);
    Outcome outcome;
    outcome.kind = Outcome::Kind::TransportFailure;
    outcome.errorCode = code;
    outcome.errorDescription = description;
    finish(outcome);
}

void QSDownloader::finish(const Outcome &given)
{
    Outcome outcome = given;
    outcome.received = received_;
    outcome.expected = expected_;
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
    deadlineTimer_.stop();
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
