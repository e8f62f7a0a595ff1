// The head of the answer, read once: its status and length, whether a resume continues where
// it should, whether the body starts over, and whether it fits where it is written.
#include "engine/QSDownloadTransfer.h"

#include "engine/QSRetryBackoff.h"
#include "platform/FreeSpaceMargin.h"
#include "platform/Host.h"

#include <QDateTime>
#include <QFileInfo>
#include <QNetworkReply>

void QSDownloadTransfer::readHead()
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
    bodyKept_ = resumed_ || status == 200;
    if (expected_ > maximumBytes_) {
        fail(QNetworkReply::ProtocolFailure, QStringLiteral("The server announced %1 bytes, more than the largest archive accepted (%2 bytes)")
                                                 .arg(expected_)
                                                 .arg(maximumBytes_));
        return;
    }
    if ((status == 200 || status == 206) && !fitsOnDisk())
        return;
}

bool QSDownloadTransfer::restartBody(bool wholeBodyAgain)
{
    partial_.flush();
    if (!partial_.resize(0)) {
        fail(QSDownloader::kLocalFileError, QStringLiteral("Emptying %1 failed: %2").arg(partialPath_, partial_.errorString()));
        return false;
    }
    received_ = 0;
    restarted_ = wholeBodyAgain;
    if (hooks_.restarted)
        hooks_.restarted();
    return true;
}

bool QSDownloadTransfer::fitsOnDisk()
{
    if (expected_ < 0)
        return true;
    const QString folder = QFileInfo(partialPath_).absolutePath();
    const platform::FreeSpace space = platform::host().freeSpace(folder);
    const qint64 needed = expected_ - received_;
    // The folder keeps a margin free for everyone else that writes there.
    if (!space.ok || quint64(needed) + platform::limits::kFreeMarginBytes <= space.bytes)
        return true;
    fail(QSDownloader::kNoSpaceError, QStringLiteral("The archive needs %1 more bytes in %2, and %3 to spare, where %4 bytes are free")
                                          .arg(needed)
                                          .arg(folder)
                                          .arg(platform::limits::kFreeMarginBytes)
                                          .arg(space.bytes));
    return false;
}
