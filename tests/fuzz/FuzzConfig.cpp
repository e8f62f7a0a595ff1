// The remote configuration answer: bytes to a QSConfig, or to none with a reason.

#include "FuzzSupport.h"

#include "config/QSConfig.h"
#include "platform/Bundle.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    platform::Bundle::setMainInfoForTesting(QVariantMap{});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString error;
    const auto document = QSConfig::decodeDocument(fuzz::bytes(data, size), &error);
    if (!document) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    const QSConfig config(*document);
    // An unusable document always says why, and a usable one names what the engine needs.
    FUZZ_CHECK(config.isValid() || !config.problem.isNull());
    FUZZ_CHECK(!config.isValid() || (!config.latestMacURL.isEmpty() && !config.lastBuildNumberMac.isEmpty()));
    FUZZ_CHECK(config.downloadRetryLimit >= 1);
    FUZZ_CHECK(config.infoScreensCount == quint64(config.screens.size()));
    (void)config.description();
    return 0;
}
