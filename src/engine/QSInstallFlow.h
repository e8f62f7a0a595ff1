#pragma once
#include "telemetry/CoreGlobal.h"

#include "archive/MinisignVerifier.h"
#include "config/QSConfigProvider.h"
#include "engine/QSDownloader.h"
#include "engine/QSRetryBackoff.h"
#include "engine/QSScreens.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVariant>

#include <atomic>
#include <functional>
#include <memory>

namespace archives {
class StreamingZipExtraction;
}
class QSConfig;
class QSPrivilegedPlacement;
class QThread;

// The flow half of the main controller: checks, configuration, download with retries,
// extraction, placement, version file, launch and the end of the program. It decides which
// screen comes next and asks the window (QSScreens) to show it. Lives on the main thread.
class QSInstallFlow : public QObject {
    Q_OBJECT
public:
    explicit QSInstallFlow(QSScreens &screens, QObject *parent = nullptr);
    ~QSInstallFlow() override;  // waits for a running extraction or placement

    // The Install button and "START_INSTALLATION".
    void startInstallation();
    // "QUIT_INSTALLATION"; object is the notification's object (absent or a map). Stops the
    // flow first.
    void quitInstallation(const QVariant &object);
    // The run is ending (quit, window close, signal, crash): the download and any extraction are
    // cancelled, a running placement is waited for and recorded, no placement starts any more,
    // the temporary files go. Nothing of the flow is recorded or shown afterwards. Runs once;
    // also called when QSTermination announces the end.
    void stopForTermination();
    bool isStopped() const { return stopped_; }
    // The launch button of the finished state.
    void launchAppWithPath();
    void sendEvent(const QString &eventName, const QJsonObject &data);
    // Writes "Show generic error screen.", sends the "Install" FAIL event for reason (null: "NA")
    // and asks the window for the installation-failed screen.
    void showGenericError(const QString &reason);
    // Starts one download attempt (attempt number downloadAttempt()).
    void beginInstallation();
    // value and adjusted in 0..1: the status line shows "QSInstalling", the bar adjusted * 100.
    void updateProgressWithValue(double value, double adjusted);

    // The person's version file, which tells that a build is installed; a removal takes it too.
    static QString versionFilePath();

    // Set by the argument scan when the installer was started with "launched-from-drive".
    void setLaunchedFromDrive(bool launchedFromDrive) { launchedFromDrive_ = launchedFromDrive; }
    bool isLaunchedFromDrive() const { return launchedFromDrive_; }

    std::shared_ptr<const QSConfig> config() const { return config_; }
    quint64 downloadAttempt() const { return downloadAttempt_; }
    double progressPercents() const { return progressPercents_; }
    // Whether the last failure of this start was an archive whose signature did not hold (its
    // screen is the download error's).
    bool signatureRefused() const { return signatureRefused_; }

    // Seams for tests and for the shell.
    using ConfigLoader = std::function<void(QSConfigProvider::Completion)>;
    void setConfigLoader(ConfigLoader loader) { configLoader_ = std::move(loader); }
    // What ends the program after quitInstallation (QCoreApplication::quit by default).
    void setTerminate(std::function<void()> terminate) { terminate_ = std::move(terminate); }
    void setDownloadTimeouts(const QSDownloadTimeouts &timeouts) { timeouts_ = timeouts; }
    // Makes the privileged placement for a start, or nullptr when the installer places by itself
    // (by default: a helper when the person may not write the applications folder). Tests give
    // the helper a stand-in launcher.
    using PlacementFactory = std::function<QSPrivilegedPlacement *(QObject *parent)>;
    void setPlacementFactory(PlacementFactory factory) { placementFactory_ = std::move(factory); }
    void setRetryBackoff(const QSRetryBackoff &backoff) { backoff_ = backoff; }

signals:
    // Bytes of the archive received so far of those announced (expected <= 0: not announced), as
    // the window's progress bar hears them; a face without a bar shows them itself.
    void downloadProgress(qint64 received, qint64 expected);
    // The archive is complete and accepted: extraction and placement follow.
    void archiveAccepted();

private:
    // Start and configuration (QSInstallFlow.cpp)
    void loadConfiguration();
    void configurationLoaded(std::shared_ptr<const QSConfig> config, std::optional<QSNetworkError> error);
    void showOfflineStep(const QString &function);
    void showBlockingAlert(const QString &message, const QString &titleKey, const QString &icon);
    QJsonObject productFields(const QString &result) const;

    // Download (QSInstallFlowDownload.cpp)
    void didReceiveData(qint64 received, qint64 expected);
    void downloadEnded(const QSDownloader::Outcome &outcome);
    void didFinishDownloading(const QSDownloader::Outcome &outcome);
    void didCompleteWithError(const QSDownloader::Outcome &outcome);
    // The records and the "Download" PASS event of an accepted body.
    void downloadAccepted(float seconds);
    void retryOrGiveUp(const QString &function, std::optional<std::chrono::milliseconds> retryAfter);
    void scheduleRetry(std::optional<std::chrono::milliseconds> retryAfter);
    void reportProxyProblem(const QSDownloader::Outcome &outcome, const QString &function);
    void dropDownloader();
    void removeTemporaryFiles();
    void discardPartialDownload();
    float secondsSinceDownloadStart() const;

    // The archive's signature (QSInstallFlowSignature.cpp). armSignatureCheck hashes the body
    // through downloader when the bundle carries a key; false when the attempt cannot be checked
    // (the failure is then shown). signatureHolds judges a complete body, showing any failure.
    [[nodiscard]] bool armSignatureCheck(QSDownloader &downloader);
    [[nodiscard]] bool signatureHolds();
    void signatureFailed(const QString &function, const QString &problem);
    void signatureVerified(const QString &trustedComment);  // the record, on both placement paths

    // Extraction, placement, finished state (QSInstallFlowInstall.cpp)
    void runInstallStage(const QString &archivePath);
    // Extraction into the staging folder while downloader writes the body; placement still waits
    // for the body to be complete and accepted. Stopped (and waited for) before the staging
    // folder is removed.
    void extractWhileDownloading(QSDownloader &downloader, const QString &archivePath);
    void stopStreamedExtraction();
    void unzipFileWithPath(const QString &archivePath, const QString &destination, std::function<void(bool)> done);
    // done(placed, reason): reason is the "Install" FAIL event's when the bundle was not placed.
    void copyAndFinishInstallation(const QString &extractionDirectory, std::function<void(bool, const QString &)> done);
    // "Path: [...]" and "Moved app [...]", written on both paths before the bundle moves.
    void logMove(const QString &extractionDirectory, const QString &applications);
    void scheduleFinishedState();

    // Placement through the privileged helper (QSInstallFlowPrivileged.cpp)
    void askForPlacementRights(QSPrivilegedPlacement *placement);
    // The helper checks the signature again with its own key: the download counts as accepted
    // (downloadAccepted) only once it has.
    void streamToHelper(QSDownloader &downloader);
    void placeThroughHelper(const QString &archivePath, qint64 length, float downloadSeconds);
    // The helper has gone before it was sent the whole archive: everything stops on the failure screen.
    void helperEndedEarly();
    void finishPlacement();
    // Runs work on a worker thread and then done on this thread; one job at a time.
    enum class WorkerJob { None, Extraction, Placement };
    void runOffMainThread(WorkerJob job, std::function<void()> work, std::function<void()> done);
    void runWorkerDone();

    QSScreens &screens_;
    ConfigLoader configLoader_;
    std::function<void()> terminate_;
    QSDownloadTimeouts timeouts_;
    QSRetryBackoff backoff_;

    std::shared_ptr<const QSConfig> config_;
    quint64 downloadAttempt_ = 0;
    double progressPercents_ = 0;
    bool launchedFromDrive_ = false;

    QElapsedTimer configLoadStart_;
    quint64 configLoadGeneration_ = 0;  // answers of a superseded start are dropped
    QElapsedTimer downloadStart_;
    QSDownloader *downloader_ = nullptr;
    std::unique_ptr<archives::MinisignVerifier> signatureCheck_;  // of the running attempt
    std::shared_ptr<archives::StreamingZipExtraction> streamedExtraction_;  // of the running attempt
    QPointer<QThread> worker_;
    PlacementFactory placementFactory_;
    QPointer<QSPrivilegedPlacement> privileged_;  // set while a helper is authorised or placing
    QSResumePoint resume_;  // bytes of an interrupted attempt that the next one continues
    QTimer retryTimer_;
    WorkerJob workerJob_ = WorkerJob::None;
    std::function<void()> workerDone_;
    // Read by the extracting thread between entries and blocks.
    std::shared_ptr<std::atomic<bool>> extractionCancelled_ = std::make_shared<std::atomic<bool>>(false);
    bool stopped_ = false;
    bool signatureRefused_ = false;
};
