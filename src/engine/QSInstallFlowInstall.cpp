// The install stage of the installation flow: extraction, placement of the bundle, the version
// file and the finished state. The file work runs on a worker thread so the window keeps
// drawing; records, events and screens are written here, on the main thread, in their order.
#include "engine/QSInstallFlow.h"

#include "config/QSConfig.h"
#include "engine/QSFlowTexts.h"
#include "engine/QSInstallFiles.h"
#include "archive/BundleVersion.h"
#include "platform/DesktopEntry.h"
#include "platform/PlacementLock.h"
#include "engine/QSPrivilegedPlacement.h"
#include "archive/BundleShape.h"
#include "platform/Console.h"
#include "platform/Host.h"
#include "archive/Extraction.h"
#include "archive/StreamingZipExtraction.h"
#include "platform/ThreadCrash.h"
#include "telemetry/QSLogger.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <optional>

#include <unistd.h>

using namespace flowtext;

namespace {

const QString kInstallError = QStringLiteral("Install error");

// The bundle's name comes from the bundle settings; it must name one entry inside a folder.
bool isPlainName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
        !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

}  // namespace

QString QSInstallFlow::versionFilePath()
{
    return QStringLiteral("%1%2/mirolan_version.json")
        .arg(platform::host().homeDirectory(), QSConfigProvider::getEnvSpecificAppDataPath());
}

void QSInstallFlow::extractWhileDownloading(QSDownloader &downloader, const QString &archivePath)
{
    stopStreamedExtraction();
    std::shared_ptr<archives::StreamingZipExtraction> extraction = archives::extraction().streamArchive(
        QSInstallFiles::partialPathFor(archivePath), QSInstallFiles::extractionDirectoryFor(archivePath),
        extractionCancelled_.get());
    if (!extraction)
        return;
    streamedExtraction_ = extraction;
    // Next to whoever else reads the body (the signature check). These run on the thread that
    // writes the file, so they only pass the news on.
    downloader.onBodyBytes = [extraction, earlier = std::move(downloader.onBodyBytes)](QByteArrayView bytes) {
        if (earlier)
            earlier(bytes);
        extraction->bytesWritten(bytes.size());
    };
    downloader.onBodyRestarted = [extraction, earlier = std::move(downloader.onBodyRestarted)] {
        if (earlier)
            earlier();
        extraction->restarted();
    };
}

void QSInstallFlow::stopStreamedExtraction()
{
    if (auto extraction = std::move(streamedExtraction_))
        extraction->stop();
}

void QSInstallFlow::runInstallStage(const QString &archivePath)
{
    updateProgressWithValue(0.0, 0.9);
    QSLogger::debug(QStringLiteral("Extract %1 installer").arg(kProductName), QS_FLOW_CONTEXT(kFinished));
    const QString destination = QSInstallFiles::extractionDirectoryFor(archivePath);
    unzipFileWithPath(archivePath, destination, [this, archivePath, destination](bool extracted) {
        if (!extracted) {
            QSLogger::error(QStringLiteral("Extract %1 installer failed").arg(kProductName), QS_FLOW_CONTEXT(kFinished));
            platform::console(QStringLiteral("Unzip operation failed!"));
            showGenericError(QStringLiteral("Extract error"));
            sendEvent(QStringLiteral("Extract"), productFields(kFail));
            QSInstallFiles::removePath(archivePath);
            QSInstallFiles::removePath(destination);
            return;
        }
        QSLogger::debug(QStringLiteral("Extract %1 installer success").arg(kProductName), QS_FLOW_CONTEXT(kFinished));
        sendEvent(QStringLiteral("Extract"), productFields(kPass));
        if (stopped_)
            return;  // the run is ending: no placement starts now
        copyAndFinishInstallation(destination, [this, archivePath, destination](bool placed, const QString &reason) {
            if (!placed) {
                // As after a failed extraction: nothing of the attempt is left once its screen shows.
                QSInstallFiles::removePath(archivePath);
                QSInstallFiles::removePath(destination);
                showGenericError(reason);
                return;
            }
            updateProgressWithValue(1.0, 1.0);
            sendEvent(QStringLiteral("Install"), productFields(kPass));
            scheduleFinishedState();
        });
    });
}

void QSInstallFlow::unzipFileWithPath(const QString &archivePath, const QString &destination,
                                      std::function<void(bool)> done)
{
    QSLogger::debug(QStringLiteral("Unzip from: %1 to: %2").arg(archivePath, destination), QS_FLOW_CONTEXT(kUnzip));
    struct Result {
        bool ok = false;
        QString error;
        QString notStreamed;  // why the streamed tree was given up for the finished file's
    };
    auto result = std::make_shared<Result>();
    const QString name = QSConfigProvider::getEnvSpecificBinaryName();
    // A name that names no bundle is reported by the placement, which refuses it.
    const QString bundle = isPlainName(name) ? QDir(destination).filePath(name) : QString();
    runOffMainThread(
        WorkerJob::Extraction,
        [archivePath, destination, bundle, result, cancelled = extractionCancelled_, streamed = std::move(streamedExtraction_)] {
            platform::ThreadCrash::throwIfAskedForTests("extraction");
            // Mostly done by now: the streamed tree is kept when it is exactly what the finished
            // archive gives.
            if (streamed && streamed->finish(archivePath, &result->notStreamed)) {
                result->ok = true;
            } else {
                if (streamed)
                    streamed->stop();
                // Whatever sits at the destination's name goes first; nothing there is followed.
                QSInstallFiles::removePath(destination);
                result->ok = archives::extraction().extractArchive(archivePath, destination, &result->error, cancelled.get());
            }
            // The bundle is judged as the privileged helper judges it, and refused the same way.
            if (result->ok && !bundle.isEmpty())
                result->ok = archives::BundleShape::checkBeforePlacing(bundle, &result->error);
            // Its tree is out, and nothing reads the archive again: it goes before the placement
            // syncs the file system, so its pages (as many as the bundle's) are dropped unwritten
            // instead of going to the disk with the bundle. Gone here, off the window's thread.
            if (result->ok)
                QSInstallFiles::removePath(archivePath);
        },
        [result, done = std::move(done)] {
            // The maker hears of archives whose two readings differ: the tree placed is always the
            // central directory's.
            if (!result->notStreamed.isEmpty())
                QSLogger::debug(QStringLiteral("Extracted the finished archive instead of the streamed one: %1").arg(result->notStreamed),
                                QS_FLOW_CONTEXT(kUnzip));
            if (!result->ok)
                QSLogger::error(QStringLiteral("Unzip failed: %1").arg(result->error), QS_FLOW_CONTEXT(kUnzip));
            done(result->ok);
        });
}

void QSInstallFlow::logMove(const QString &extractionDirectory, const QString &applications)
{
    const QString version = config_ ? config_->lastBuildNumberMac : QString();
    platform::console(QStringLiteral("Path: [%1]").arg(extractionDirectory));
    QSLogger::debug(QStringLiteral("Moved app [version: %1 ] from path: %2 to %3").arg(version, extractionDirectory, applications),
                    QS_FLOW_CONTEXT(kCopy));
}

void QSInstallFlow::copyAndFinishInstallation(const QString &extractionDirectory,
                                              std::function<void(bool, const QString &)> done)
{
    const QString name = QSConfigProvider::getEnvSpecificBinaryName();
    const QString applications = QSConfigProvider::getApplicationsDirectory();
    const QString source = QDir(extractionDirectory).filePath(name);
    const QString target = QDir(applications).filePath(name);
    const QString version = config_ ? config_->lastBuildNumberMac : QString();
    const QString versionFile = versionFilePath();

    logMove(extractionDirectory, applications);
    if (!isPlainName(name) || applications.isEmpty()) {
        QSLogger::error(QStringLiteral("No bundle name or applications folder for this environment (\"%1\", \"%2\")")
                            .arg(name, applications),
                        QS_FLOW_CONTEXT(kCopy));
        done(false, kInstallError);
        return;
    }

    struct Result {
        bool placed = false;
        QString placeError;
        QString olderVersion;  // why the bundle may not replace the installed one
        bool written = false;
        QString writeError;
        QString menuEntryError;
    };
    auto result = std::make_shared<Result>();
    const QString productName = QSConfigProvider::getStringFromPlist(QStringLiteral("APP_NAME"));
    // Root started through sudo or pkexec places into a system folder: its entry is the system's
    // too, and root never writes below a HOME that another person controls.
    const QString configuredSystemMenu = QSConfigProvider::getStringFromPlist(QStringLiteral("kQSApplicationsMenuDirectory"));
    const QString menuFolder = platform::DesktopEntry::folderForThisRun(
        configuredSystemMenu.isEmpty() ? platform::DesktopEntry::systemFolder() : configuredSystemMenu);
    // The menu entry's "Remove" action starts this installer again.
    const QString installer = QCoreApplication::applicationFilePath();
    runOffMainThread(
        WorkerJob::Placement,
        [source, target, version, versionFile, productName, menuFolder, installer, result] {
            // Root holds the bundle's lock from the version check to the menu entry, as the helper
            // does: another placement of it never swaps in between.
            std::optional<platform::PlacementLock> lock;
            if (::geteuid() == 0 && !lock.emplace(target).isHeld()) {
                result->placeError = lock->errorString();
                return;
            }
            // Never an older build over a newer one, whoever signed it.
            result->olderVersion = archives::BundleVersion::refusalToReplace(target, source);
            if (result->olderVersion.isEmpty())
                result->placed = QSInstallFiles::placeBundle(source, target, &result->placeError);
            else
                result->placeError = result->olderVersion;
            // The menu entry follows whatever is at the target now: written for a placed bundle,
            // removed when none is there.
            if (platform::DesktopEntry::update(target, productName, menuFolder, &result->menuEntryError, installer))
                result->menuEntryError.clear();
            // The version file tells what is installed, so it only changes when the bundle did.
            if (result->placed)
                result->written = QSInstallFiles::writeVersionFile(versionFile, version, &result->writeError);
        },
        [source, target, versionFile, result, done = std::move(done)] {
            if (!result->menuEntryError.isEmpty())
                platform::console(QStringLiteral("No menu entry for %1: %2").arg(target, result->menuEntryError));
            if (!result->placed) {
                QSLogger::error(QStringLiteral("Moving %1 to %2 failed: %3").arg(source, target, result->placeError),
                                QS_FLOW_CONTEXT(kCopy));
                done(false, result->olderVersion.isEmpty() ? kInstallError
                                                           : QStringLiteral("%1: %2").arg(kInstallError, result->olderVersion));
                return;
            }
            if (result->written) {
                QSLogger::debug(QStringLiteral("Updated version info at %1").arg(versionFile),
                                QSLogContext::bare(__FILE__, kCopy, __LINE__));
            } else {
                platform::console(QStringLiteral("Got an error: %1").arg(result->writeError));
                QSLogger::error(QStringLiteral("Writing the version file %1 failed: %2").arg(versionFile, result->writeError),
                                QS_FLOW_CONTEXT(kCopy));
            }
            done(true, {});
        });
}

void QSInstallFlow::scheduleFinishedState()
{
    if (stopped_)
        return;
    QTimer::singleShot(800, this, [this] {
        if (stopped_)
            return;
        screens_.showState(QSScreenState::DownloadDone);
        QTimer::singleShot(300, this, [this] {
            if (!stopped_)
                screens_.updateLauchButtons();
        });
    });
}
