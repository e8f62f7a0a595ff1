#include "engine/QSPrivilegedPlacement.h"

#include "archive/PlacementProtocol.h"
#include "engine/QSPlacementStream.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

using namespace archives::placement;

namespace {

// How long quitting waits for a helper that has the whole archive and is placing it.
constexpr int kPlacementWaitMs = 60 * 1000;

QString describeExit(int exitCode, QProcess::ExitStatus status)
{
    return status == QProcess::CrashExit ? QStringLiteral("the helper crashed")
                                         : QStringLiteral("the helper ended with status %1").arg(exitCode);
}

// A pipe whose ends no other program the installer starts inherits.
bool makePipe(int ends[2])
{
#if defined(Q_OS_LINUX)
    return ::pipe2(ends, O_CLOEXEC) == 0;
#else
    if (::pipe(ends) != 0)
        return false;
    (void)::fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    (void)::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    return true;
#endif
}

}  // namespace

QSPrivilegedPlacement::QSPrivilegedPlacement(QObject *parent)
    : QObject(parent),
      program_(QStringLiteral("/usr/bin/pkexec")),
      arguments_{QStringLiteral("--disable-internal-agent"), defaultHelperPath()},
      process_(new QProcess(this))
{
    connect(process_, &QProcess::readyReadStandardOutput, this, &QSPrivilegedPlacement::readAnswers);
    answerTimer_.setSingleShot(true);
    connect(&answerTimer_, &QTimer::timeout, this, &QSPrivilegedPlacement::answerOverdue);
    connect(process_, &QProcess::finished, this, &QSPrivilegedPlacement::helperEnded);
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart && phase_ == Phase::Authorising) {
            phase_ = Phase::Done;
            emit unavailable(false, QStringLiteral("cannot start %1: %2").arg(program_, process_->errorString()));
        }
    });
}

QSPrivilegedPlacement::~QSPrivilegedPlacement()
{
    disconnect(process_, nullptr, this, nullptr);
    if (process_->state() == QProcess::NotRunning)
        return;
    if (overdue_) {
        // It stopped answering and its input is closed: it ends on its own bounds, without us.
        process_->setParent(nullptr);
        connect(process_, &QProcess::finished, process_, &QObject::deleteLater);
        return;
    }
    if (phase_ == Phase::Authorising) {
        process_->kill();  // still pkexec, running for us; the helper has not started
    } else if (stream_) {
        // Still downloading: the helper sees the archive end early and places nothing.
        // Everything sent: it is placing, and finishes in one step before we go.
        stream_->close();
    }
    process_->waitForFinished(kPlacementWaitMs);
}

void QSPrivilegedPlacement::waitForCommittedPlacement()
{
    if (phase_ == Phase::Waiting && !process_->waitForFinished(kPlacementWaitMs))
        helperEnded(-1, QProcess::CrashExit);  // gave no answer in time: reported as a failed placement
}

bool QSPrivilegedPlacement::isNeededFor(const QString &applicationsDirectory)
{
    QString folder = QDir::cleanPath(QDir(applicationsDirectory).absolutePath());
    while (!QFileInfo::exists(folder) && folder != QLatin1String("/"))
        folder = QFileInfo(folder).path();
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0;
}

QString QSPrivilegedPlacement::defaultHelperPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tiny-installer-helper");
}

void QSPrivilegedPlacement::setLauncher(const QString &program, const QStringList &arguments)
{
    program_ = program;
    arguments_ = arguments;
}

void QSPrivilegedPlacement::authorise()
{
    phase_ = Phase::Authorising;
    output_.clear();
    answer_.clear();
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    process_->setStandardErrorFile(QProcess::nullDevice());
    // The helper's standard input is a pipe of our own rather than QProcess's, so that the
    // download's thread writes the archive into it directly, with nothing passing through this
    // thread's event loop.
    int ends[2] = {-1, -1};
    if (!makePipe(ends)) {
        phase_ = Phase::Done;
        emit unavailable(false, QStringLiteral("cannot make a pipe for the helper: %1").arg(qt_error_string(errno)));
        return;
    }
    const int input = ends[0];
    stream_ = std::make_shared<QSPlacementStream>(ends[1]);
    process_->setStandardInputFile(QProcess::nullDevice());
    process_->setChildProcessModifier([input] { ::dup2(input, STDIN_FILENO); });
    process_->start(program_, arguments_);
    ::close(input);  // the child has its copy (start() forks before it returns)
}

std::shared_ptr<QSPlacementStream> QSPrivilegedPlacement::streamAttempt(const QByteArray &signatureText, quint64 attempts)
{
    if (!stream_)
        stream_ = std::make_shared<QSPlacementStream>(-1);  // never started: takes nothing
    stream_->beginAttempt(signatureText, attempts);
    return stream_;
}

void QSPrivilegedPlacement::place(qint64 length)
{
    Q_ASSERT(phase_ == Phase::Ready);
    phase_ = Phase::Waiting;
    answerTimer_.start(limits_.silenceMs);
    stream_->end(length);
}

void QSPrivilegedPlacement::readAnswers()
{
    output_ += process_->readAllStandardOutput();
    qsizetype end;
    while ((end = output_.indexOf('\n')) >= 0) {
        const QByteArray line = output_.left(end);
        output_.remove(0, end + 1);
        if (phase_ == Phase::Waiting)
            answerTimer_.start(limits_.silenceMs);  // it is still at work
        if (phase_ == Phase::Authorising && line == kStartedLine) {
            answerTimer_.start(limits_.readyMs);
        } else if (phase_ == Phase::Authorising && line == kReadyLine) {
            answerTimer_.stop();
            phase_ = Phase::Ready;
            wasAuthorised_ = true;
            emit authorised();
        } else if (phase_ == Phase::Waiting && line.startsWith(kCommentPrefix)) {
            trustedComment_ = QString::fromUtf8(line.mid(qsizetype(sizeof kCommentPrefix) - 1));
        } else if (phase_ == Phase::Waiting && line == kVerifiedLine) {
            emit verified(trustedComment_);
        } else if (phase_ == Phase::Waiting && line.startsWith(kExtractingPrefix)) {
            emit extracting(QString::fromUtf8(line.mid(qsizetype(sizeof kExtractingPrefix) - 1)));
        } else if (phase_ == Phase::Waiting && line.startsWith(kStagingPrefix)) {
            emit staging(QString::fromUtf8(line.mid(qsizetype(sizeof kStagingPrefix) - 1)));
        } else {
            answer_ = QString::fromUtf8(line);
        }
    }
}

void QSPrivilegedPlacement::answerOverdue()
{
    const bool placing = phase_ == Phase::Waiting;
    if (!placing && phase_ != Phase::Authorising)
        return;
    // Root's process is out of our reach; with its input closed it ends on its own bounds.
    overdue_ = true;
    phase_ = Phase::Done;
    if (stream_)
        stream_->close();
    const QString detail = QStringLiteral("the helper gave no answer for %1 s").arg((placing ? limits_.silenceMs : limits_.readyMs) / 1000.0);
    if (placing)
        emit placed(Outcome::PlaceFailed, detail);
    else
        emit unavailable(false, detail);
}

void QSPrivilegedPlacement::helperEnded(int exitCode, QProcess::ExitStatus status)
{
    answerTimer_.stop();
    if (overdue_)
        return;  // already reported
    readAnswers();
    const Phase phase = phase_;
    phase_ = Phase::Done;
    QString detail = answer_.isEmpty() ? describeExit(exitCode, status) : answer_;
    if (detail.startsWith(QLatin1String(kErrorPrefix)))
        detail.remove(0, qsizetype(sizeof kErrorPrefix) - 1);
    if (phase == Phase::Authorising) {
        const bool refused = status == QProcess::NormalExit && (exitCode == PkexecNotAuthorized || exitCode == PkexecFailed);
        emit unavailable(refused, refused ? QStringLiteral("pkexec ended with status %1").arg(exitCode) : detail);
        return;
    }
    if (phase == Phase::Ready) {
        emit unavailable(false, detail);  // ended before it was sent anything
        return;
    }
    Outcome outcome = Outcome::PlaceFailed;
    if (status == QProcess::NormalExit) {
        switch (exitCode) {
        case Placed: outcome = answer_.startsWith(QLatin1String(kPlacedPrefix)) ? Outcome::Placed : Outcome::PlaceFailed; break;
        case SignatureRejected: outcome = Outcome::SignatureRejected; break;
        case OlderVersion: outcome = Outcome::OlderVersion; break;
        case ExtractFailed:
        case BadBundle: outcome = Outcome::ExtractFailed; break;
        default: break;
        }
    }
    emit placed(outcome, detail);
}
