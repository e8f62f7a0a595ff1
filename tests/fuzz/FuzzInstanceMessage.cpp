// Messages on the single-instance socket, written by whatever process connects to it.

#include "FuzzSupport.h"

#include "shell/SingleInstanceMessage.h"

#include <QList>

using shell::SingleInstanceMessage;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    // The connection's bytes, line by line, as the listening instance reads them.
    for (const QByteArray &line : input.split('\n')) {
        if (const auto message = SingleInstanceMessage::decode(line))
            FUZZ_CHECK(message->kind == SingleInstanceMessage::Kind::Activate || !message->url.isEmpty());
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
