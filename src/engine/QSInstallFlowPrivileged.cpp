// Placement through the privileged helper, used when the person may not write the applications
// folder: the authorisation is asked once the configuration is in, the helper extracts and places the
// archive as root, and the installer writes the version file as the person.
#include "engine/QSInstallFlow.h"

#include "config/QSConfig.h"
#include "engine/QSFlowTexts.h"
#include "engine/QSInstallFiles.h"
#include "engine/QSPlacementStream.h"
#include "engine/QSPrivilegedPlacement.h"
#include "platform/Console.h"
#include "telemetry/QSLogger.h"

using namespace flowtext;

namespace {

// The reasons of the "Install" FAIL events of this path.
const QString kAuthorisationRefused = QStringLiteral("Install error: authorisation refused");
const QString kInstallError = QStringLiteral("Install error");

}  // namespace

void QSInstallFlow::askForPlacementRights(QSPrivilegedPlacement *placement)
{
    const QString applications = QSConfigProvider::getApplicationsDirectory();
    QSLogger::debug(QStringLiteral("Asking for authorisation to place %1 in %2").arg(kProductName, applications),
                    QS_FLOW_CONTEXT(kStart));
    screens_.showState(QSScreenState::Connecting);
    privileged_ = placement;
    connect(placement, &QSPrivilegedPlacement::authorised, this, [this, placement] {
        if (privileged_ != placement)
            return;
        QSLogger::debug(QStringLiteral("Authorisation to place %1 granted").arg(kProductName), QS_FLOW_CONTEXT(kStart));
        beginInstallation();
    });
    connect(placement, &QSPrivilegedPlacement::unavailable, this, [this, placement](bool refused, const QString &detail) {
        if (privileged_ != placement)
            return;
        QSLogger::error(QStringLiteral("The placement helper is unavailable (%1): %2")
                            .arg(refused ? QStringLiteral("authorisation refused") : QStringLiteral("failed"), detail),
                        QS_FLOW_CONTEXT(kStart));
        if (placement->wasAuthorised()) {
            // Gone while the archive downloads (it refused what came, or was ended): the download
            // it was taking stops now instead of running to its end for nobody.
            if (downloader_ || retryTimer_.isActive())
                helperEndedEarly();
            return;  // otherwise told when the archive is ready
        }
        privileged_ = nullptr;
        placement->deleteLater();
        showGenericError(refused ? kAuthorisationRefused : kInstallError);
    });
    placement->authorise();
}

void QSInstallFlow::streamToHelper(QSDownloader &downloader)
{
    // Every attempt's body goes to the helper as it is written to disk, bytes of an earlier attempt
    // that it resumes first: the helper has stored and hashed the archive when its last byte comes.
    const std::shared_ptr<QSPlacementStream> stream =
        privileged_->streamAttempt(config_ ? config_->latestMacSignature.toUtf8() : QByteArray(),
                                   config_ ? config_->downloadRetryLimit : 0);
    downloader.onBodyBytes = [stream](QByteArrayView bytes) { stream->append(bytes); };
    downloader.onBodyRestarted = [stream] { stream->restart(); };
}

void QSInstallFlow::placeThroughHelper(const QString &archivePath, qint64 length, float downloadSeconds)
{
    QSPrivilegedPlacement *placement = privileged_;
    if (!placement->isReady()) {
        helperEndedEarly();
        return;
    }
    const QString applications = QSConfigProvider::getApplicationsDirectory();
    // The helper's lines arrive in the order the installer's own placement writes its records:
    // the download is accepted only once the helper has checked the signature with its own key.
    connect(placement, &QSPrivilegedPlacement::verified, this, [this, archivePath, downloadSeconds](const QString &comment) {
        // The helper holds its own verified copy: this one is read no more. Gone long before the
        // helper syncs the file system, its pages are dropped unwritten instead of going to disk.
        QSInstallFiles::removePathInBackground(archivePath);
        signatureVerified(comment);
        downloadAccepted(downloadSeconds);
        updateProgressWithValue(0.0, 0.9);
        QSLogger::debug(QStringLiteral("Extract %1 installer").arg(kProductName), QS_FLOW_CONTEXT(kFinished));
    });
    connect(placement, &QSPrivilegedPlacement::extracting, this, [archivePath](const QString &folder) {
        QSLogger::debug(QStringLiteral("Unzip from: %1 to: %2").arg(archivePath, folder), QS_FLOW_CONTEXT(kUnzip));
    });
    connect(placement, &QSPrivilegedPlacement::staging, this, [this, applications](const QString &folder) {
        QSLogger::debug(QStringLiteral("Extract %1 installer success").arg(kProductName), QS_FLOW_CONTEXT(kFinished));
        sendEvent(QStringLiteral("Extract"), productFields(kPass));
        logMove(folder, applications);
    });
    connect(placement, &QSPrivilegedPlacement::placed, this,
            [this, placement, archivePath](QSPrivilegedPlacement::Outcome outcome, const QString &detail) {
                placement->deleteLater();
                privileged_ = nullptr;
                switch (outcome) {
                case QSPrivilegedPlacement::Outcome::Placed:
                    QSInstallFiles::removePath(archivePath);
                    finishPlacement();
                    return;
                case QSPrivilegedPlacement::Outcome::SignatureRejected: {
                    // As when the installer's own check refuses it (the temporary files go there).
                    const QString prefix = QStringLiteral("Signature verification failed: ");
                    signatureFailed(kFinished, detail.startsWith(prefix) ? detail.mid(prefix.size()) : detail);
                    return;
                }
                case QSPrivilegedPlacement::Outcome::ExtractFailed:
                    QSInstallFiles::removePath(archivePath);
                    QSLogger::error(QStringLiteral("Unzip failed: %1").arg(detail), QS_FLOW_CONTEXT(kUnzip));
                    QSLogger::error(QStringLiteral("Extract %1 installer failed").arg(kProductName), QS_FLOW_CONTEXT(kFinished));
                    platform::console(QStringLiteral("Unzip operation failed!"));
                    showGenericError(QStringLiteral("Extract error"));
                    sendEvent(QStringLiteral("Extract"), productFields(kFail));
                    return;
                case QSPrivilegedPlacement::Outcome::OlderVersion:
                case QSPrivilegedPlacement::Outcome::PlaceFailed:
                    QSInstallFiles::removePath(archivePath);
                    QSLogger::error(QStringLiteral("Placing %1 through the helper failed: %2").arg(kProductName, detail),
                                    QS_FLOW_CONTEXT(kCopy));
                    showGenericError(outcome == QSPrivilegedPlacement::Outcome::OlderVersion
                                         ? QStringLiteral("%1: %2").arg(kInstallError, detail)
                                         : kInstallError);
                    return;
                }
            });
    // The helper verifies the archive itself, with the key of its own bundle: a session that could
    // change this process still cannot have unsigned code placed as root.
    placement->place(length);
}

void QSInstallFlow::helperEndedEarly()
{
    QSLogger::error(QStringLiteral("The placement helper ended before the archive was ready"), QS_FLOW_CONTEXT(kCopy));
    retryTimer_.stop();
    dropDownloader();
    removeTemporaryFiles();
    discardPartialDownload();
    privileged_->deleteLater();
    privileged_ = nullptr;
    screens_.makeMainViewVisible();
    showGenericError(kInstallError);
}

void QSInstallFlow::finishPlacement()
{
    const QString version = config_ ? config_->lastBuildNumberMac : QString();
    const QString versionFile = versionFilePath();
    QString error;
    if (QSInstallFiles::writeVersionFile(versionFile, version, &error)) {
        QSLogger::debug(QStringLiteral("Updated version info at %1").arg(versionFile),
                        QSLogContext::bare(__FILE__, kCopy, __LINE__));
    } else {
        platform::console(QStringLiteral("Got an error: %1").arg(error));
        QSLogger::error(QStringLiteral("Writing the version file %1 failed: %2").arg(versionFile, error), QS_FLOW_CONTEXT(kCopy));
    }
    updateProgressWithValue(1.0, 1.0);
    sendEvent(QStringLiteral("Install"), productFields(kPass));
    scheduleFinishedState();
}
