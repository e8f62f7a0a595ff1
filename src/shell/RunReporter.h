#pragma once
// What a run without a window says while it works and when it ends. On a terminal one progress
// line on standard error rewrites itself (phase, percent, MiB of MiB, speed, time left); on a pipe
// or in a file plain lines come instead, at each phase and every 10 %, so that logs stay readable.
// Last comes one line on standard output: the outcome's sentence, or one JSON object.
//
// Any operation can report through it: a phase is a name, progress is a count of bytes.

#include "shell/RunResult.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QString>

#include <deque>

class QIODevice;

namespace shell {

class RunReporter {
public:
    enum class Style {
        Rewriting,  // a terminal: one line, redrawn in place
        Plain,      // anything else: whole lines only
    };

    // Writes progress to progress and the result to result; neither is owned.
    RunReporter(QIODevice &progress, Style style, QIODevice &result);

    // Rewriting when the descriptor is a terminal (and TERM does not say it cannot move the cursor).
    static Style styleFor(int fd);

    // A new phase ("Connecting", "Downloading", "Installing", ...): its progress starts afresh.
    void phase(const QString &name);
    // Bytes done of total in the current phase; total <= 0 when not known.
    void progress(qint64 done, qint64 total);
    // A line of its own among the progress (the installer's console lines); the progress line is
    // drawn again below it. May come from any thread.
    void note(const QString &text);
    // Ends the progress and writes the result's line.
    void finish(const RunResult &result, bool json);

    // "12.3 of 29.0 MiB", "4.1 MiB/s", "1:05" (for tests and for the plain lines).
    static QString mebibytes(qint64 done, qint64 total);
    static QString speed(double bytesPerSecond);
    static QString duration(double seconds);

private:
    QString progressText() const;
    double bytesPerSecond() const;
    void draw();  // with mutex_ held
    void write(QIODevice &device, const QString &text);

    QIODevice &progress_;
    QIODevice &result_;
    const Style style_;
    QMutex mutex_;

    QString phase_;
    qint64 done_ = 0;
    qint64 total_ = 0;
    int lastTenth_ = -1;  // the last 10 % step written as a plain line
    bool lineShown_ = false;
    QElapsedTimer clock_;
    qint64 lastDrawn_ = -1;  // ms on clock_ of the last redraw
    struct Sample {
        qint64 ms;
        qint64 bytes;
    };
    std::deque<Sample> samples_;  // the last seconds of progress, for the speed
};

}  // namespace shell
