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

private:
    archives::placement::Status fail(archives::placement::Status status, const QString &message);
    bool readHeader(int input);
    // The bytes of one data frame, to output and to the check.
    archives::placement::Status receiveData(int input, int output, quint64 size, BackgroundHash &hash);

    QString publicKey_;
    quint64 maxArchiveBytes_;
    QString folder_;
    quint64 received_ = 0;  // since the last restart
    QByteArray signature_;  // the .minisig text, when the request carries one
    QString error_;
};
