#include "engine/QSRemoval.h"

#include "config/QSConfig.h"
#include "config/QSConfigProvider.h"
#include "engine/QSFlowTexts.h"
#include "engine/QSInstallFlow.h"
#include "engine/QSPrivilegedPlacement.h"
#include "engine/QSPrivilegedRemoval.h"
#include "platform/DesktopEntry.h"
#include "platform/PersonalFiles.h"
#include "platform/RunningPrograms.h"
#include "platform/ThreadCrash.h"
#include "telemetry/QSAnalyticSender.h"
#include "telemetry/QSLogger.h"

#include <QFileInfo>
#include <QJsonObject>

#include <atomic>

namespace {

using Outcome = QSRemoval::Outcome;

const QString kRemoveEvent = QStringLiteral("Remove");

#define QS_REMOVAL_CONTEXT(method) QS_LOG_CONTEXT("-[QSRemoval " method "]")

// The "Remove" event's reason; none for a removal that went as asked.
QString eventReason(const QSRemoval::Result &result)
{
    switch (result.outcome) {
    case Outcome::Removed: return {};
    case Outcome::NothingToRemove: return QStringLiteral("Nothing to remove");
    case Outcome::Refused: return QStringLiteral("Remove refused: %1").arg(result.reason);
    case Outcome::NotAuthorised: return QStringLiteral("Remove error: authorisation refused");
    case Outcome::Failed: break;
    }
    return QStringLiteral("Remove error: %1").arg(result.reason);
}

}  // namespace

QSRemoval::QSRemoval(QObject *parent)
    : QObject(parent), settings_(settings(&settingsError_))
{
}

QSRemoval::~QSRemoval()
{
    if (worker_)
        worker_->wait();
}

std::optional<archives::PlacementSettings> QSRemoval::settings(QString *error)
{
    auto settings = archives::PlacementSettings::fromInfo(QSConfigProvider::getPlist(),
                                                          QSConfigProvider::getApplicationsDirectory(), error);
    if (!settings)
        return settings;
    // The menu folder the installation wrote to when it placed the product itself.
    settings->menuFolder = platform::DesktopEntry::folderForThisRun(settings->menuFolder);
    return settings;
}

QString QSRemoval::productName() const
{
    const QString name = QSConfigProvider::getStringFromPlist(QStringLiteral("APP_NAME"));
    return name.isEmpty() ? flowtext::kProductName : name;
}

QString QSRemoval::bundlePath() const
{
    return settings_ ? settings_->bundlePath() : QString();
}

bool QSRemoval::isProductRunning() const
{
    return settings_ && !platform::RunningPrograms::inFolder(bundlePath()).isEmpty();
}

bool QSRemoval::needsAuthorisation() const
{
    return settings_ && QSPrivilegedPlacement::isNeededFor(settings_->applicationsDirectory);
}

void QSRemoval::loadAddresses()
{
    addressesPending_ = true;
    // The endpoints arrive as notifications, as in any run; only a failure is ours to record.
    QPointer<QSRemoval> self(this);
    QSConfigProvider::loadConfigWithCompletion([self](std::shared_ptr<const QSConfig> config, std::optional<QSNetworkError> error) {
        QString failure;
        if (!config) {
            failure = QStringLiteral("The removal's records cannot be sent: no configuration (%1); they stay in the run log")
                          .arg(error ? error->description : QStringLiteral("not a usable document"));
            QSLogger::error(failure, QS_REMOVAL_CONTEXT("loadAddresses"));
        }
        if (!self)
            return;
        self->addressesPending_ = false;
        emit self->addressesSettled(failure);
    });
}

void QSRemoval::start()
{
    if (running_)
        return;
    running_ = true;
    if (!settings_) {
        QSLogger::error(QStringLiteral("No bundle name or applications folder for this environment: %1").arg(settingsError_),
                        QS_REMOVAL_CONTEXT("start"));
        archives::RemovalReport report;
        report.outcome = archives::RemovalReport::Outcome::Failed;
        report.error = settingsError_;
        finish(false, report);
        return;
    }
    if (isProductRunning())
        QSLogger::debug(QStringLiteral("%1 is running from %2 while it is removed").arg(productName(), bundlePath()),
                        QS_REMOVAL_CONTEXT("start"));
    if (needsAuthorisation()) {
        QSLogger::debug(QStringLiteral("Asking for authorisation to remove %1 from %2").arg(productName(), settings_->applicationsDirectory),
                        QS_REMOVAL_CONTEXT("start"));
        if (!helper_) {
            helper_ = new QSPrivilegedRemoval(this);
            connect(helper_, &QSPrivilegedRemoval::finished, this, &QSRemoval::finish);
        }
        helper_->start();
        return;
    }
    QSLogger::debug(QStringLiteral("Removing %1 from %2").arg(productName(), settings_->applicationsDirectory),
                    QS_REMOVAL_CONTEXT("start"));
    removeInProcess();
}

void QSRemoval::removeInProcess()
{
    auto report = std::make_shared<archives::RemovalReport>();
    auto crashed = std::make_shared<std::atomic<bool>>(false);
    // An exception here ends the run in order, as one on the main thread does; no report follows.
    worker_ = QThread::create([settings = *settings_, report, crashed] {
        if (!platform::ThreadCrash::run(QStringLiteral("Removal"), [&] {
                platform::ThreadCrash::throwIfAskedForTests("removal");
                *report = archives::BundleRemoval(settings).run();
            }))
            crashed->store(true);
    });
    worker_->setObjectName(QStringLiteral("Removal"));
    connect(worker_, &QThread::finished, this, [this, report, crashed] {
        worker_->deleteLater();
        worker_ = nullptr;
        if (!crashed->load())
            finish(false, *report);
    });
    worker_->start();
}

void QSRemoval::finish(bool notAuthorised, archives::RemovalReport report)
{
    using ReportOutcome = archives::RemovalReport::Outcome;
    Result result;
    // The version file says a build is installed: it goes when the product is gone, never when
    // the product stays (refused, failed, not authorised).
    if (!notAuthorised && (report.outcome == ReportOutcome::Removed || report.outcome == ReportOutcome::NothingToRemove))
        removeVersionFile(&report);
    switch (report.outcome) {
    case ReportOutcome::Removed: result.outcome = Outcome::Removed; break;
    case ReportOutcome::NothingToRemove: result.outcome = Outcome::NothingToRemove; break;
    case ReportOutcome::Refused: result.outcome = Outcome::Refused; break;
    case ReportOutcome::Failed: result.outcome = notAuthorised ? Outcome::NotAuthorised : Outcome::Failed; break;
    }
    result.reason = report.error;
    result.report = std::move(report);
    record(result);
    running_ = false;
    emit finished(result);
}

void QSRemoval::removeVersionFile(archives::RemovalReport *report) const
{
    const QString path = QSInstallFlow::versionFilePath();
    if (!QFileInfo(path).isFile())
        return;
    QString error;
    if (platform::PersonalFiles::removeFile(path, &error) && !QFileInfo(path).isFile()) {
        report->removed.append(path);
        report->outcome = archives::RemovalReport::Outcome::Removed;
    } else {
        report->kept.append({path, error.isEmpty() ? QStringLiteral("it could not be removed") : error});
    }
}

void QSRemoval::record(const Result &result) const
{
    for (const QString &path : result.report.removed)
        QSLogger::debug(QStringLiteral("Removed %1").arg(path), QS_REMOVAL_CONTEXT("finish"));
    for (const auto &kept : result.report.kept)
        QSLogger::debug(QStringLiteral("Left alone %1: %2").arg(kept.path, kept.reason), QS_REMOVAL_CONTEXT("finish"));
    const QString reason = eventReason(result);
    if (result.outcome == Outcome::Refused || result.outcome == Outcome::NotAuthorised || result.outcome == Outcome::Failed)
        QSLogger::error(QStringLiteral("Removing %1 failed: %2").arg(productName(), reason), QS_REMOVAL_CONTEXT("finish"));
    QJsonObject data{{QStringLiteral("RSLT"), reason.isEmpty() || result.outcome == Outcome::NothingToRemove ? flowtext::kPass : flowtext::kFail}};
    if (!reason.isEmpty())
        data.insert(QStringLiteral("RSN"), reason);
    QSAnalyticSender::sendEvent(kRemoveEvent, data);
}
