#pragma once
#include "telemetry/CoreGlobal.h"

#include "archive/BundleRemoval.h"

#include <QObject>
#include <QPointer>
#include <QThread>

#include <optional>

class QSPrivilegedRemoval;

// Removes the product for the person: the bundle and its menu entry, through the removal helper
// when the person may not write the applications folder and in process when they may, then the
// person's version file. Writes the run log's records and the "Remove" event, and asks for the
// configuration only for the addresses the records go to at exit.
class QSRemoval : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Removed, NothingToRemove, Refused, NotAuthorised, Failed };
    Q_ENUM(Outcome)
    struct Result {
        Outcome outcome = Outcome::Failed;
        archives::RemovalReport report;  // what was removed and what was left alone
        QString reason;                  // with Refused, NotAuthorised and Failed
    };

    explicit QSRemoval(QObject *parent = nullptr);
    // A removal under way runs to its end before this returns.
    ~QSRemoval() override;

    // Where the product is and which bundle counts as it, from the installer's own Info.plist.
    static std::optional<archives::PlacementSettings> settings(QString *error);
    QString productName() const;
    QString bundlePath() const;
    // Whether the product runs now (a process whose executable lies inside the bundle).
    bool isProductRunning() const;
    // Whether the removal needs the helper (and so an administrator's authorisation).
    bool needsAuthorisation() const;

    // Fetches the configuration for the addresses only; its failure changes nothing here.
    // addressesSettled() follows once, with the reason when nothing can be sent.
    void loadAddresses();
    bool addressesPending() const { return addressesPending_; }
    // Starts the removal; finished() follows once, on this thread.
    void start();
    bool isRunning() const { return running_; }

signals:
    void finished(const QSRemoval::Result &result);
    void addressesSettled(const QString &failure);

private:
    void removeInProcess();
    void finish(bool notAuthorised, archives::RemovalReport report);
    void removeVersionFile(archives::RemovalReport *report) const;
    void record(const Result &result) const;

    std::optional<archives::PlacementSettings> settings_;
    QString settingsError_;
    QSPrivilegedRemoval *helper_ = nullptr;
    QThread *worker_ = nullptr;
    bool running_ = false;
    bool addressesPending_ = false;
};
