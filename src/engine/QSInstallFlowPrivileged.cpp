// Placement through the privileged helper, used when the person may not write the applications
// folder: the authorisation is asked when Install is pressed, the helper extracts and places the
// archive as root, and the installer writes the version file as the person.
#include "engine/QSInstallFlow.h"

#include "config/QSConfig.h"
#include "engine/QSFlowTexts.h"
#include "engine/QSInstallFiles.h"
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
        loadConfiguration();
    });
    connect(placement, &QSPrivilegedPlacement::unavailable, this, [this, placement](bool refused, const QString &detail) {
        if (privileged_ != placement)
            return;
        QSLogger::error(QStringLiteral("The placement helper is unavailable (%1): %2")
                            .arg(refused ? QStringLiteral("authorisation refused") : QStringLiteral("failed"), detail),
                        QS_FLOW_CONTEXT(kStart));
        // A helper that goes away after the authorisation is reported when the archive is ready.
        if (placement->wasAuthorised())
            return;
        privileged_ = nullptr;
        placement->deleteLater();
        showGenericError(refused ? kAuthorisationRefused : kInstallError);
    });
    placement->authorise();
}

void QSInstallFlow::placeThroughHelper(const QString &archivePath)
{
    updateProgressWithValue(0.0, 0.9);
    QSLogger::debug(QStringLiteral("Extract %1 installer").arg(kProductName), QS_FLOW_CONTEXT(kFinished));
    QSPrivilegedPlacement *placement = privileged_;
    if (!placement->isReady()) {
        QSLogger::error(QStringLiteral("The placement helper ended before the archive was ready"), QS_FLOW_CONTEXT(kCopy));
        QSInstallFiles::removePath(archivePath);
        privileged_->deleteLater();
        privileged_ = nullptr;
        showGenericError(kInstallError);
        return;
    }
    QSLogger::debug(QStringLiteral("Unzip from: %1 to: %2").arg(archivePath, QSConfigProvider::getApplicationsDirectory()),
                    QS_FLOW_CONTEXT(kUnzip));
    connect(placement, &QSPrivilegedPlacement::placed, this,
            [this, placement, archivePath](QSPrivilegedPlacement::Outcome outcome, const QString &detail) {
                QSInstallFiles::removePath(archivePath);
                placement->deleteLater();
                privileged_ = nullptr;
                switch (outcome) {
                case QSPrivilegedPlacement::Outcome::Placed:
                    QSLogger::debug(QStringLiteral("Extract %1 installer success").arg(kProductName), QS_FLOW_CONTEXT(kFinished));
                    sendEvent(QStringLiteral("Extract"), productFields(kPass));
                    finishPlacement();
                    return;
                case QSPrivilegedPlacement::Outcome::SignatureRejected: {
                    QSLogger::error(QStringLiteral("The placement helper refused the archive: %1").arg(detail),
                                    QS_FLOW_CONTEXT(kFinished));
                    showGenericError(QStringLiteral("Download Error"));
                    QJsonObject fields = productFields(kFail);
                    fields.insert(QStringLiteral("RSN"), QStringLiteral("Signature verification failed"));
                    sendEvent(QStringLiteral("Download"), fields);
                    return;
                }
                case QSPrivilegedPlacement::Outcome::ExtractFailed:
                    QSLogger::error(QStringLiteral("Unzip failed: %1").arg(detail), QS_FLOW_CONTEXT(kUnzip));
                    QSLogger::error(QStringLiteral("Extract %1 installer failed").arg(kProductName), QS_FLOW_CONTEXT(kFinished));
                    platform::console(QStringLiteral("Unzip operation failed!"));
                    showGenericError(QStringLiteral("Extract error"));
                    sendEvent(QStringLiteral("Extract"), productFields(kFail));
                    return;
                case QSPrivilegedPlacement::Outcome::PlaceFailed:
                    QSLogger::error(QStringLiteral("Placing %1 through the helper failed: %2").arg(kProductName, detail),
                                    QS_FLOW_CONTEXT(kCopy));
                    showGenericError(kInstallError);
                    return;
                }
            });
    // The helper verifies the archive again, with the key of its own bundle: a session that could
    // change this process still cannot have unsigned code placed as root.
    placement->place(archivePath, config_ ? config_->latestMacSignature.toUtf8() : QByteArray());
}

void QSInstallFlow::finishPlacement()
{
    const QString version = config_ ? config_->lastBuildNumberMac : QString();
    const QString versionFile = versionFilePath();
    QSLogger::debug(QStringLiteral("Moved app [version: %1 ] into %2").arg(version, QSConfigProvider::getApplicationsDirectory()),
                    QS_FLOW_CONTEXT(kCopy));
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
