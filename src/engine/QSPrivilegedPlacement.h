#pragma once
#include "telemetry/CoreGlobal.h"

#include <QObject>
#include <QProcess>
#include <QTimer>
#include <QStringList>

#include <memory>

class QSPlacementStream;

// The installer's side of the privileged placement helper. When the person may not write the
// applications folder, the helper is started through pkexec once the configuration is in, so the
// authorisation is asked before the download. The archive goes to the helper's standard input as
// it downloads, so the helper has stored and checked it by the time its last byte arrives, and
// then places the bundle as root.
class QSPrivilegedPlacement : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Placed, SignatureRejected, ExtractFailed, OlderVersion, PlaceFailed };
    Q_ENUM(Outcome)

    explicit QSPrivilegedPlacement(QObject *parent = nullptr);
    // A placement that is already under way runs to its end (the helper swaps in one step); one
    // whose archive is still downloading is abandoned and changes nothing.
    ~QSPrivilegedPlacement() override;

    // Whether the person running the installer may not create the bundle in folder (or in the
    // nearest folder above it that exists, when it does not exist yet).
    static bool isNeededFor(const QString &applicationsDirectory);
    // The helper beside the installer's own executable.
    static QString defaultHelperPath();

    // The program that asks for authorisation and runs the helper ("/usr/bin/pkexec" and the
    // helper's path by default). Tests put a stand-in here.
    void setLauncher(const QString &program, const QStringList &arguments);

    // Starts the helper; exactly one of authorised() or unavailable() follows.
    void authorise();
    // Once authorised, for each download attempt as it starts: the stream that takes the attempt's
    // body (the first attempt's sends the request's header and the signature text, every later
    // one starts the archive over).
    std::shared_ptr<QSPlacementStream> streamAttempt(const QByteArray &signatureText, quint64 attempts = 0);
    // The whole archive, of length bytes, has been streamed; placed() follows once.
    void place(qint64 length);
    bool isReady() const { return phase_ == Phase::Ready; }
    bool wasAuthorised() const { return wasAuthorised_; }
    bool isPlacing() const { return phase_ == Phase::Waiting; }
    // Whether the whole archive has gone to the helper, which now places it in one step.
    bool isCommitted() const { return phase_ == Phase::Waiting; }
    // Waits (bounded) for a committed placement to end; placed() is emitted before this returns.
    void waitForCommittedPlacement();

    // Once the helper has started (the authorisation is given), how long it may take to be ready,
    // and then, once the archive is sent, to say anything more: a helper that says nothing for so
    // long has failed, and the placement ends with a reason. Tests shorten them.
    struct AnswerLimits {
        int readyMs = 120 * 1000;     // its settings, the sweep, the bundle's lock (60 s at most)
        int silenceMs = 30 * 60 * 1000;  // extracting a bundle of the largest archive allowed
    };
    void setAnswerLimits(AnswerLimits limits) { limits_ = limits; }

signals:
    void authorised();
    // refused: the person dismissed the authorisation or was not allowed; otherwise the helper
    // could not start or is not configured. detail is for the run log.
    void unavailable(bool refused, const QString &detail);
    // While placing, in this order: the whole archive arrived and its signature (with this
    // trusted comment) holds; extraction into folder starts; the bundle is extracted and checked
    // in folder and is about to be swapped in. Then placed().
    void verified(const QString &trustedComment);
    void extracting(const QString &folder);
    void staging(const QString &folder);
    void placed(QSPrivilegedPlacement::Outcome outcome, const QString &detail);

private:
    enum class Phase { Idle, Authorising, Ready, Waiting, Done };

    void readAnswers();
    void helperEnded(int exitCode, QProcess::ExitStatus status);
    void answerOverdue();

    QString program_;
    QStringList arguments_;
    QProcess *process_;  // ours, unless a helper that stopped answering outlives us
    AnswerLimits limits_;
    QTimer answerTimer_;
    bool overdue_ = false;
    Phase phase_ = Phase::Idle;
    bool wasAuthorised_ = false;
    QByteArray output_;
    QString answer_;  // the helper's last line after "ready"
    QString trustedComment_;
    std::shared_ptr<QSPlacementStream> stream_;  // the helper's standard input
};
