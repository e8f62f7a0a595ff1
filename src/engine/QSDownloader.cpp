#include "engine/QSDownloader.h"

#include "engine/QSDownloadTransfer.h"
#include "engine/QSInstallFiles.h"

#include <QThread>

#include <memory>

QSDownloader::QSDownloader(const QUrl &url, const QString &archivePath, const QSDownloadTimeouts &timeouts,
                           QObject *parent)
    : QObject(parent), url_(url), archivePath_(archivePath), timeouts_(timeouts)
{
}

QSDownloader::~QSDownloader()
{
    cancel();
    stopThread();
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
    auto transfer = std::make_unique<QSDownloadTransfer>(
        url_, archivePath_, timeouts_, resume_, QSDownloadTransfer::BodyHooks{onBodyBytes, onBodyRestarted}, stopping_);
    transfer->setMaximumBytes(maximumBytes_);
    if (!transfer->prepare(error))
        return false;

    started_ = true;
    thread_ = new QThread;
    thread_->setObjectName(QStringLiteral("Download"));
    transfer_ = transfer.release();
    transfer_->moveToThread(thread_);
    // The transfer, its reply and its access manager go on their own thread as it ends.
    connect(thread_, &QThread::finished, transfer_, &QObject::deleteLater);
    connect(transfer_, &QSDownloadTransfer::progressed, this, &QSDownloader::transferProgressed, Qt::QueuedConnection);
    connect(transfer_, &QSDownloadTransfer::ended, this, &QSDownloader::transferEnded, Qt::QueuedConnection);
    QMetaObject::invokeMethod(transfer_, &QSDownloadTransfer::begin, Qt::QueuedConnection);
    thread_->start();
    return true;
}

void QSDownloader::transferProgressed(qint64 received, qint64 expected)
{
    if (!done_ && onProgress)
        onProgress(received, expected);
}

void QSDownloader::transferEnded(const Outcome &outcome)
{
    if (done_)
        return;
    done_ = true;
    // The transfer has handed over its last body byte before it sent this; once its thread has
    // ended, whatever the body hooks touched belongs to this thread again.
    stopThread();
    // A copy: the flow may delete this downloader from within the call.
    const auto finished = onFinished;
    if (finished)
        finished(outcome);
}

void QSDownloader::cancel()
{
    if (done_)
        return;
    done_ = true;
    stopThread();
    QSInstallFiles::removePath(QSInstallFiles::partialPathFor(archivePath_));
    // An attempt can complete on its thread while its outcome is on the way here; start()
    // cleared the archive's name, so what is there now is this unreported attempt's.
    if (started_)
        QSInstallFiles::removePath(archivePath_);
}

// Synchronous: the transfer sees the stop flag before its next write, its thread's event loop
// ends, and the transfer closes its file as it is deleted on that thread, all before this returns.
void QSDownloader::stopThread()
{
    if (!thread_)
        return;
    stopping_.store(true);
    thread_->quit();
    thread_->wait();
    // The thread has ended: nothing runs there any more, so what is left (a transfer whose
    // thread never got to delete it) can go from here.
    delete transfer_.data();
    delete thread_;
    thread_ = nullptr;
}
