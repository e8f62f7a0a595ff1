// Messages on the single-instance socket, written by whatever process connects to it.

#include "FuzzSupport.h"

#include "shell/SingleInstance.h"
#include "shell/SingleInstanceMessage.h"

using shell::SingleInstance;
using shell::SingleInstanceMessage;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    // The connection's bytes in the portions the listening instance reads them, which drops the
    // connection once an unfinished line is longer than a message may be.
    QByteArray pending;
    for (qsizetype at = 0; at < input.size();) {
        const QByteArray portion = input.mid(at, SingleInstance::kMaxMessageBytes + 1 - pending.size());
        at += portion.size();
        pending += portion;
        for (const QByteArray &line : SingleInstanceMessage::takeLines(pending)) {
            FUZZ_CHECK(!line.contains('\n') && line.size() <= SingleInstance::kMaxMessageBytes);
            if (const auto message = SingleInstanceMessage::decode(line))
                FUZZ_CHECK(message->kind == SingleInstanceMessage::Kind::Activate || !message->url.isEmpty());
        }
        FUZZ_CHECK(!pending.contains('\n'));
        if (pending.size() > SingleInstance::kMaxMessageBytes)
            break;
    }
    // A URL handed over by a second instance arrives unchanged when it fits on one line.
    const QString url = QString::fromUtf8(input);
    if (!url.isEmpty() && !url.contains(QLatin1Char('\n')) && !url.endsWith(QLatin1Char('\r'))) {
        const QByteArray wire = SingleInstanceMessage::encode(url);
        FUZZ_CHECK(wire.endsWith('\n') && wire.count('\n') == 1);
        const auto message = SingleInstanceMessage::decode(wire.chopped(1));
        FUZZ_CHECK(message && message->kind == SingleInstanceMessage::Kind::Open && message->url == url);
    }
    return 0;
}
