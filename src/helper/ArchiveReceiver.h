#pragma once

#include "archive/PlacementProtocol.h"

#include <QByteArray>
#include <QString>

class BackgroundHash;

// Reads one placement request from a stream: header lines "<key> <value>", an empty line, then
// the archive's frames, whose bytes are copied to a file as they arrive and verified on the way
// with the bundle's public key. Without a key nothing is received: root places only what the
// maker signed.
class ArchiveReceiver {
public:
    // The archive is written below folder, which must keep its free margin after it.
    ArchiveReceiver(QString publicKey, quint64 maxArchiveBytes, QString folder)
        : publicKey_(std::move(publicKey)), maxArchiveBytes_(maxArchiveBytes), folder_(std::move(folder)) {}

    // Reads the header, which the installer sends as its download begins, and nothing after it.
    // Placed when it is usable, otherwise the status to exit with and errorString() says why.
    [[nodiscard]] archives::placement::Status receiveHeader(int input);
    // Then copies the archive from input to output (both open descriptors) until its end frame,
    // starting the file and the check over at every restart. A frame that would pass the maximum
    // size or the folder's free margin is refused before its first byte is stored.
    [[nodiscard]] archives::placement::Status receiveArchive(int input, int output);
    QString errorString() const { return error_; }
    // The trusted comment of the signature that holds, once receiveArchive() placed.
    QByteArray trustedComment() const { return trustedComment_; }

    // No byte for this long ends the request: longer than a download attempt may go without one,
    // plus the pause before the next attempt, so that a living installer is never cut off.
    static constexpr int kDefaultIdleMs = 5 * 60 * 1000;
    void setIdleLimit(int milliseconds) { idleMs_ = milliseconds; }

private:
    archives::placement::Status fail(archives::placement::Status status, const QString &message);
    archives::placement::Status idle();
    // The bytes of one data frame, to output and to the check.
    archives::placement::Status receiveData(int input, int output, quint64 size, BackgroundHash &hash);

    QString publicKey_;
    quint64 maxArchiveBytes_;
    QString folder_;
    // Restarts allowed: the attempts the installer announces (at most kMaxAttempts) and a margin.
    static constexpr quint64 kMaxAttempts = 1000;
    static constexpr quint64 kRestartMargin = 4;
    quint64 maxRestarts_ = 16 + kRestartMargin;
    int idleMs_ = kDefaultIdleMs;
    quint64 received_ = 0;  // since the last restart
    QByteArray signature_;  // the .minisig text, when the request carries one
    QByteArray trustedComment_;
    QString error_;
};
