// Event texts taken apart for the run log: "<time> ci=<identifier> <json>", where the JSON holds
// values from the configuration and the bundle.

#include "FuzzSupport.h"

#include "telemetry/QSLogger.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(fuzz::bytes(data, size));
    const QSLogger::EventText event = QSLogger::splitEventText(text);
    // Every piece comes out of the text; nothing is made up.
    FUZZ_CHECK(text.startsWith(event.time));
    FUZZ_CHECK(text.contains(event.ci));
    FUZZ_CHECK(event.message.size() <= text.size());
    return 0;
}
