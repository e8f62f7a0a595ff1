#pragma once

#include "platform/PlacementProtocol.h"

#include <QByteArray>
#include <QString>

// Reads one placement request from a stream: header lines "<key> <value>", an empty line, then
// exactly the announced number of archive bytes, which are copied to a file as they arrive. When
// the bundle carries a public key, the bytes are verified on the way.
class ArchiveReceiver {
public:
    ArchiveReceiver(QString publicKey, quint64 spaceLimit)
        : publicKey_(std::move(publicKey)), spaceLimit_(spaceLimit) {}

    // Reads the header, which the installer sends once the archive is downloaded. Placed when it
    // is usable, otherwise the status to exit with and errorString() says why.
    [[nodiscard]] platform::placement::Status receiveHeader(int input);
    // Then copies the archive from input to output (both open descriptors).
    [[nodiscard]] platform::placement::Status receiveArchive(int input, int output);
    QString errorString() const { return error_; }

private:
    platform::placement::Status fail(platform::placement::Status status, const QString &message);
    bool readHeader(int input);

    QString publicKey_;
    quint64 spaceLimit_;
    quint64 length_ = 0;
    QByteArray signature_;  // the .minisig text, when the request carries one
    QString error_;
};
