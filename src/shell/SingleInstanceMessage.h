#pragma once
// The single-instance socket's wire format: one UTF-8 line per message, "activate" or
// "open <url>". Kept apart from the socket handling so that the decoding of what another process
// wrote can be tested and fuzzed on its own.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace shell {

struct SingleInstanceMessage {
    enum class Kind { Activate, Open };
    Kind kind = Kind::Activate;
    QString url;  // the command URL of an Open message

    // The line for a command URL, newline included; a null URL asks for activation.
    static QByteArray encode(const QString &commandUrl);
    // One received line without its newline (a trailing carriage return is allowed); none for
    // anything that is not a message.
    static std::optional<SingleInstanceMessage> decode(const QByteArray &line);
    // Takes every whole line, without its newline, out of the bytes a connection has delivered so
    // far, leaving out empty ones; what stays in pending is the start of a line still arriving.
    static QList<QByteArray> takeLines(QByteArray &pending);
};

}  // namespace shell
