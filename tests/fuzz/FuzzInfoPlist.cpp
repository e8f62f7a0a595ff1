// The bundle's Info.plist: bytes to the information dictionary, then every setting the installer
// reads from it.

#include "FuzzSupport.h"

#include "config/QSConfigProvider.h"
#include "platform/Bundle.h"

namespace {

const char *const kSettings[] = {
    "AnalyticsProductName", "APP_NAME", "VENDOR_NAME", "BG_COLOR", "QSConfigUrl", "AppleM1Support",
    "kQSArchivePublicKey",
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString error;
    const auto info = platform::Bundle::parsePropertyList(fuzz::bytes(data, size), &error);
    if (!info) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    platform::Bundle::setMainInfoForTesting(*info);
    QSConfigProvider::resetCachesForTesting();
    (void)platform::Bundle::bundleIdentifier();
    (void)platform::Bundle::shortVersion();
    (void)QSConfigProvider::getPortalType();
    (void)QSConfigProvider::getConfigUrl();
    (void)QSConfigProvider::getEnvSpecificAppDataPath();
    (void)QSConfigProvider::getEnvSpecificBinaryName();
    (void)QSConfigProvider::getApplicationsDirectory();
    (void)QSConfigProvider::getAction(QStringLiteral("licenseAgreement"));
    for (const char *key : kSettings)
        (void)QSConfigProvider::getStringFromPlist(QString::fromLatin1(key));
    return 0;
}
