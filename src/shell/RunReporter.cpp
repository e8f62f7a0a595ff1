#include "shell/RunReporter.h"

#include <QIODevice>
#include <QMutexLocker>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <pthread.h>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace shell {
namespace {

constexpr double kMiB = 1024.0 * 1024.0;
// A terminal line is redrawn at most this often: a download reports every block it writes.
constexpr qint64 kRedrawMs = 200;
// The speed is that of the last seconds, so that a stall shows at once and a burst soon fades.
constexpr qint64 kSpeedWindowMs = 5000;

}  // namespace

RunReporter::RunReporter(QIODevice &progress, Style style, QIODevice &result)
    : progress_(progress), result_(result), style_(style)
{
    clock_.start();
}

RunReporter::Style RunReporter::styleFor(int fd)
{
    const char *term = std::getenv("TERM");
    const bool dumb = term && std::strcmp(term, "dumb") == 0;
    return ::isatty(fd) == 1 && !dumb ? Style::Rewriting : Style::Plain;
}

QString RunReporter::mebibytes(qint64 done, qint64 total)
{
    const QString doneText = QString::number(double(done) / kMiB, 'f', 1);
    if (total <= 0)
        return QStringLiteral("%1 MiB").arg(doneText);
    return QStringLiteral("%1 of %2 MiB").arg(doneText, QString::number(double(total) / kMiB, 'f', 1));
}

QString RunReporter::speed(double bytesPerSecond)
{
    return QStringLiteral("%1 MiB/s").arg(QString::number(bytesPerSecond / kMiB, 'f', 1));
}

QString RunReporter::duration(double seconds)
{
    const qint64 whole = qint64(std::ceil(std::max(seconds, 0.0)));
    const QString minutesAndSeconds =
        QStringLiteral("%1:%2").arg((whole / 60) % 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
    if (whole < 3600)
        return minutesAndSeconds;
    return QStringLiteral("%1:%2").arg(whole / 3600).arg(minutesAndSeconds.rightJustified(5, QLatin1Char('0')));
}

void RunReporter::phase(const QString &name)
{
    QMutexLocker lock(&mutex_);
    if (name == phase_)
        return;
    phase_ = name;
    done_ = total_ = 0;
    lastTenth_ = -1;
    samples_.clear();
    if (style_ == Style::Plain)
        write(progress_, name + QLatin1Char('\n'));
    else
        draw();
}

void RunReporter::progress(qint64 done, qint64 total)
{
    QMutexLocker lock(&mutex_);
    // A restarted body starts the count again: so does the speed.
    if (done < done_)
        samples_.clear();
    done_ = done;
    total_ = total;
    const qint64 now = clock_.elapsed();
    samples_.push_back({now, done});
    while (samples_.size() > 2 && samples_.front().ms < now - kSpeedWindowMs)
        samples_.pop_front();

    if (style_ == Style::Rewriting) {
        if (lastDrawn_ < 0 || now - lastDrawn_ >= kRedrawMs || done == total)
            draw();
        return;
    }
    if (total <= 0)
        return;
    const int tenth = int(std::min<qint64>(done * 10 / total, 10));
    if (tenth <= lastTenth_ || tenth == 0)
        return;
    lastTenth_ = tenth;
    write(progress_, progressText() + QLatin1Char('\n'));
}

double RunReporter::bytesPerSecond() const
{
    if (samples_.size() < 2)
        return 0;
    const Sample &first = samples_.front(), &last = samples_.back();
    const qint64 ms = last.ms - first.ms;
    return ms > 0 ? double(last.bytes - first.bytes) * 1000.0 / double(ms) : 0;
}

QString RunReporter::progressText() const
{
    if (done_ <= 0 && total_ <= 0)
        return phase_;
    QStringList parts{phase_};
    if (total_ > 0)
        parts << QStringLiteral("%1%").arg(int(std::min<qint64>(done_ * 100 / total_, 100)), 3);
    parts << mebibytes(done_, total_);
    const double rate = bytesPerSecond();
    if (rate > 0) {
        parts << speed(rate);
        if (total_ > done_)
            parts << QStringLiteral("%1 left").arg(duration(double(total_ - done_) / rate));
    }
    return parts.join(QStringLiteral("  "));
}

void RunReporter::draw()
{
    lastDrawn_ = clock_.elapsed();
    lineShown_ = true;
    // Back to the start of the line, the new text, the rest of the old one cleared.
    write(progress_, QStringLiteral("\r%1\x1b[K").arg(progressText()));
}

void RunReporter::note(const QString &text)
{
    QMutexLocker lock(&mutex_);
    if (style_ == Style::Plain || !lineShown_) {
        write(progress_, text + QLatin1Char('\n'));
        return;
    }
    // One write: the note takes the progress line's place and the progress line follows it.
    write(progress_, QStringLiteral("\r%1\x1b[K\n%2\x1b[K").arg(text, progressText()));
}

void RunReporter::finish(const RunResult &result, bool json)
{
    QMutexLocker lock(&mutex_);
    if (style_ == Style::Rewriting && lineShown_) {
        draw();
        write(progress_, QStringLiteral("\n"));
        lineShown_ = false;
    }
    write(result_, result.line(json) + QLatin1Char('\n'));
}

void RunReporter::write(QIODevice &device, const QString &text)
{
    // Nobody may be reading any more (a pipe closed early): the run goes on and ends as it would.
    // Ignoring SIGPIPE for the whole process would pass the ignoring on to every program the
    // installer starts, so it is held back on this thread for the write, and taken if it came.
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    if (device.write(text.toUtf8()) < 0) {
        const timespec now{};
        while (sigtimedwait(&pipeSignal, nullptr, &now) == -1 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace shell
