// The download half of the installation flow: one attempt at a time, judged when it ends, with
// the retry rule (attempt n is retried while n is below the configured limit), a growing random
// pause between attempts, and a cut body continued by the next attempt where the server allows.
#include "engine/QSInstallFlow.h"

#include "config/QSConfig.h"
#include "engine/QSFlowTexts.h"
#include "engine/QSInstallFiles.h"
#include "engine/QSPreinstallCheck.h"
#include "engine/QSPrivilegedPlacement.h"
#include "platform/Console.h"
#include "platform/Host.h"
#include "platform/Localization.h"
#include "telemetry/QSAnalyticSender.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSTask.h"

#include <QDir>
#include <QNetworkReply>

#include <algorithm>
#include <charconv>
#include <cmath>

using namespace flowtext;

namespace {

// Asked about in the diagnostic name-server lookup when the archive address names no host.
const QString kDownloadServiceHost = QStringLiteral("download.brightmoor.example");

// A single-precision number as its shortest decimal text ("1.25", "0.1").
QString floatText(float value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

}  // namespace

void QSInstallFlow::beginInstallation()
{
    if (stopped_)
        return;
    retryTimer_.stop();
    screens_.showState(QSScreenState::Downloading);
    dropDownloader();
    if (!config_) {
        QSLogger::error(QStringLiteral("Download %1 installer failed (error = no configuration)").arg(kProductName),
                        QS_FLOW_CONTEXT(kBegin));
        return;
    }
    const QString address = config_->latestMacURL;
    const QString line = QStringLiteral("[Attempt %1 ] : Download: %2").arg(downloadAttempt_).arg(address);
    platform::console(line);
    QSLogger::debug(line, QS_FLOW_CONTEXT(kBegin));
    downloadStart_.start();

    const QString archive = QSInstallFiles::archivePath();
    removeTemporaryFiles();
    QSLogger::debug(QStringLiteral("Starting to download %1 version: %2").arg(kProductName, config_->lastBuildNumberMac),
                    QS_FLOW_CONTEXT(kBegin));
    QString failure;
    if (!QDir::isAbsolutePath(archive)) {
        failure = QStringLiteral("no private temporary folder");
    } else {
        downloader_ = new QSDownloader(QUrl(address), archive, timeouts_, this);
        if (resume_.isValid()) {
            QSLogger::debug(QStringLiteral("Resuming the download at byte %1 of %2").arg(resume_.bytes).arg(resume_.total),
                            QS_FLOW_CONTEXT(kBegin));
            downloader_->setResumePoint(resume_);
        }
        resume_ = {};
        downloader_->setMaximumBytes(QSConfigProvider::getMaximumArchiveBytes());
        downloader_->onProgress = [this](qint64 received, qint64 expected) { didReceiveData(received, expected); };
        downloader_->onFinished = [this](const QSDownloader::Outcome &outcome) { downloadEnded(outcome); };
        if (!armSignatureCheck(*downloader_)) {
            dropDownloader();
            return;
        }
        // Bytes that nobody has verified yet are never parsed: with a key the archive is only
        // read once its whole signature holds. Root never parses an archive early either; the
        // helper takes the body as it comes and parses it once its signature holds.
        if (privileged_)
            streamToHelper(*downloader_);
        else if (!signatureCheck_ && !platform::host().isSuperUser())
            extractWhileDownloading(*downloader_, archive);
        if (!downloader_->start(&failure))
            dropDownloader();
    }
    if (failure.isEmpty())
        return;

    QSLogger::error(QStringLiteral("Download %1 installer failed (error = %2)").arg(kProductName, failure),
                    QS_FLOW_CONTEXT(kBegin));
    const QString host = QUrl(address).host();
    const QString lookup = QSTask::runTaskWithPath(QStringLiteral("/usr/bin/host"),
                                                   {QStringLiteral("-t"), QStringLiteral("NS"),
                                                    host.isEmpty() ? kDownloadServiceHost : host},
                                                   3.0);
    if (!lookup.isEmpty())
        QSLogger::debug(lookup, QS_FLOW_CONTEXT(kBegin));
    platform::console(QStringLiteral("Exception %1").arg(failure));
    // An attempt that cannot even start will not start on a retry either: tell the user.
    screens_.makeMainViewVisible();
    showGenericError(QStringLiteral("Download Error"));
}

void QSInstallFlow::didReceiveData(qint64 received, qint64 expected)
{
    float share = expected > 0 ? float(received) / float(expected) : 0.0f;
    share = std::min(share, 0.9f);
    updateProgressWithValue(share, share);
    emit downloadProgress(received, expected);
}

void QSInstallFlow::downloadEnded(const QSDownloader::Outcome &outcome)
{
    // The attempt is over; its downloader goes once this call has returned.
    if (downloader_) {
        downloader_->deleteLater();
        downloader_ = nullptr;
    }
    resume_ = outcome.resumeFrom;  // valid only when the bytes on disk may be continued
    if (outcome.restarted)
        QSLogger::debug(QStringLiteral("The server sent the whole archive again; the download started over"),
                        QS_FLOW_CONTEXT(kCompleted));
    if (outcome.kind == QSDownloader::Outcome::Kind::Complete)
        didFinishDownloading(outcome);
    else
        didCompleteWithError(outcome);
}

void QSInstallFlow::didFinishDownloading(const QSDownloader::Outcome &outcome)
{
    const float seconds = secondsSinceDownloadStart();
    const QJsonValue t = QSAnalyticSender::singlePrecision(seconds);
    const qint64 tries = qint64(downloadAttempt_);
    if (!QSPreinstallCheck::hasInternetConnection()) {
        showOfflineStep(kFinished);
        sendEvent(QStringLiteral("Download"), {{QStringLiteral("RSLT"), kFail},
                                               {QStringLiteral("URL"), config_->latestMacURL},
                                               {QStringLiteral("DProd"), kProductName},
                                               {QStringLiteral("RSN"), QStringLiteral("Download failed")},
                                               {QStringLiteral("CData"), QStringLiteral("No internet connection")},
                                               {QStringLiteral("T"), t},
                                               {QStringLiteral("Tries"), tries}});
        removeTemporaryFiles();
        discardPartialDownload();
        return;
    }
    if (outcome.isHttp && outcome.httpStatus != 200) {
        QSLogger::error(QStringLiteral("[Attempt %1 ] :Download %2 installer failed (error = HTTP Response with status code %3)")
                            .arg(downloadAttempt_)
                            .arg(kProductName)
                            .arg(outcome.httpStatus),
                        QS_FLOW_CONTEXT(kFinished));
        reportProxyProblem(outcome, kFinished);
        removeTemporaryFiles();
        discardPartialDownload();
        QJsonObject data{{QStringLiteral("RSLT"), kFail},
                         {QStringLiteral("URL"), config_->latestMacURL},
                         {QStringLiteral("DProd"), kProductName},
                         {QStringLiteral("DProdVer"), config_->lastBuildNumberMac},
                         {QStringLiteral("T"), t},
                         {QStringLiteral("Tries"), tries}};
        if (downloadAttempt_ >= config_->downloadRetryLimit) {
            screens_.makeMainViewVisible();
            showGenericError(QStringLiteral("Download Error"));
            data.insert(QStringLiteral("RSN"), QStringLiteral("HTTP Response with status code %1").arg(outcome.httpStatus));
            sendEvent(QStringLiteral("Download"), data);
            return;
        }
        QSLogger::debug(QStringLiteral("Retrying download."), QS_FLOW_CONTEXT(kFinished));
        data.insert(QStringLiteral("RSN"), QStringLiteral("Current retry attempt %1, max download retry limit %2")
                                               .arg(downloadAttempt_)
                                               .arg(config_->downloadRetryLimit));
        sendEvent(QStringLiteral("Download"), data);
        scheduleRetry(outcome.retryAfter);
        return;
    }
    if (!signatureHolds())
        return;
    if (privileged_) {
        placeThroughHelper(outcome.archivePath, outcome.received, seconds);
        return;
    }
    downloadAccepted(seconds);
    runInstallStage(outcome.archivePath);
}

void QSInstallFlow::downloadAccepted(float seconds)
{
    QSLogger::debug(QStringLiteral("Download %1 installer success. Version downloaded: %2").arg(kProductName, config_->lastBuildNumberMac),
                    QS_FLOW_CONTEXT(kFinished));
    QSLogger::debug(QStringLiteral("Download took %1 seconds").arg(floatText(seconds)), QS_FLOW_CONTEXT(kFinished));
    QJsonObject data = productFields(kPass);
    data.insert(QStringLiteral("T"), QSAnalyticSender::singlePrecision(seconds));
    data.insert(QStringLiteral("Tries"), qint64(downloadAttempt_));
    sendEvent(QStringLiteral("Download"), data);
    emit archiveAccepted();
}

void QSInstallFlow::didCompleteWithError(const QSDownloader::Outcome &outcome)
{
    QSLogger::error(QStringLiteral("Download failure reason - %1, Error Code - %2").arg(outcome.errorDescription).arg(outcome.errorCode),
                    QS_FLOW_CONTEXT(kCompleted));
    platform::console(QStringLiteral("*** Error received : %1 %2").arg(outcome.errorDescription).arg(outcome.errorCode));
    reportProxyProblem(outcome, kCompleted);
    removeTemporaryFiles();

    // Share of the body that arrived, in whole percent; -1 when no length was announced.
    const int fragment = outcome.expected > 0
        ? int(float(outcome.received) / float(outcome.expected) * 100.0f)
        : -1;
    QJsonObject data = productFields(kFail);
    data.insert(QStringLiteral("RSN"), QStringLiteral("Download complete with error %1 and error code received is %2")
                                           .arg(outcome.errorDescription)
                                           .arg(outcome.errorCode));
    data.insert(QStringLiteral("Tries"), qint64(downloadAttempt_));
    data.insert(QStringLiteral("Frag"), fragment);
    sendEvent(QStringLiteral("Download"), data);

    if (outcome.errorCode == QSDownloader::kNoSpaceError) {
        // Another attempt would not fit either: the person has to make room first.
        discardPartialDownload();
        QSLogger::showScreen(QStringLiteral("NotEnoughSpace"), QS_FLOW_CONTEXT(kCompleted));
        showBlockingAlert(platform::localizedString("QSNoSpaceMessage"), QStringLiteral("QSNoSpaceTitle"),
                          QStringLiteral("no_space"));
        return;
    }
    if (!QSPreinstallCheck::hasInternetConnection()) {
        showOfflineStep(kCompleted);
        return;
    }
    retryOrGiveUp(kCompleted, outcome.retryAfter);
}

void QSInstallFlow::retryOrGiveUp(const QString &function, std::optional<std::chrono::milliseconds> retryAfter)
{
    if (downloadAttempt_ < config_->downloadRetryLimit) {
        QSLogger::debug(QStringLiteral("Retrying download."), QS_FLOW_CONTEXT(function));
        scheduleRetry(retryAfter);
        return;
    }
    discardPartialDownload();
    screens_.makeMainViewVisible();
    showGenericError(QStringLiteral("Download Error"));
}

void QSInstallFlow::scheduleRetry(std::optional<std::chrono::milliseconds> retryAfter)
{
    const std::chrono::milliseconds delay = backoff_.delayAfter(downloadAttempt_, retryAfter);
    const QString secondsText = QString::number(double(delay.count()) / 1000.0, 'f', 1);
    QSLogger::debug(QStringLiteral("Next download attempt in %1 seconds").arg(secondsText), QS_FLOW_CONTEXT(kBegin));
    // The person sees that the installer has not given up, and when it tries again.
    QString label = platform::localizedString("QSRetryingDownload");
    label.replace(QStringLiteral("%@"), QString::number(std::ceil(double(delay.count()) / 1000.0)));
    // The bar shows what the next attempt starts from: the bytes it continues, or nothing.
    const float kept = resume_.isValid() ? std::min(float(resume_.bytes) / float(resume_.total), 0.9f) : 0.0f;
    screens_.updateProgress(kept * 100.0f, label);
    retryTimer_.start(delay);
}

void QSInstallFlow::reportProxyProblem(const QSDownloader::Outcome &outcome, const QString &function)
{
    if (outcome.proxy.isEmpty())
        return;
    QString problem;
    if (outcome.kind == QSDownloader::Outcome::Kind::Complete && outcome.isHttp && outcome.httpStatus == 407)
        problem = QStringLiteral("it asks for proxy authentication (HTTP 407)");
    else if (outcome.kind == QSDownloader::Outcome::Kind::TransportFailure &&
             ((outcome.errorCode >= int(QNetworkReply::ProxyConnectionRefusedError) &&
               outcome.errorCode <= int(QNetworkReply::UnknownProxyError)) ||
              // Through a proxy, the only connection made is to the proxy itself.
              outcome.errorCode == int(QNetworkReply::ConnectionRefusedError) ||
              outcome.errorCode == int(QNetworkReply::HostNotFoundError) ||
              // Qt's name for an answer to CONNECT that is not HTTP ("Did not receive HTTP
              // response from proxy").
              outcome.errorCode == int(QNetworkReply::UnknownNetworkError)))
        problem = outcome.errorDescription;
    if (!problem.isEmpty())
        QSLogger::error(QStringLiteral("Proxy problem: the proxy %1 refused the download: %2").arg(outcome.proxy, problem),
                        QS_FLOW_CONTEXT(function));
}

void QSInstallFlow::dropDownloader()
{
    stopStreamedExtraction();  // it follows this attempt's body
    if (!downloader_)
        return;
    downloader_->onProgress = nullptr;
    downloader_->onFinished = nullptr;
    downloader_->cancel();
    downloader_->deleteLater();
    downloader_ = nullptr;
}

void QSInstallFlow::discardPartialDownload()
{
    resume_ = {};
    const QString archive = QSInstallFiles::archivePath();
    if (QDir::isAbsolutePath(archive))
        QSInstallFiles::removePath(QSInstallFiles::partialPathFor(archive));
}

void QSInstallFlow::removeTemporaryFiles()
{
    stopStreamedExtraction();  // nothing may write into the staging folder while it goes
    const QString archive = QSInstallFiles::archivePath();
    if (!QDir::isAbsolutePath(archive))
        return;  // never a relative name in whatever the current folder is
    QSInstallFiles::removePath(archive);
    QSInstallFiles::removePath(QSInstallFiles::extractionDirectoryFor(archive));
}

float QSInstallFlow::secondsSinceDownloadStart() const
{
    return downloadStart_.isValid() ? float(double(downloadStart_.nsecsElapsed()) / 1e9) : 0.0f;
}
