// Command URLs, as they arrive in the process arguments or from a second instance.

#include "FuzzSupport.h"

#include "config/QSConfigProvider.h"
#include "platform/Bundle.h"
#include "shell/CommandUrls.h"

#include <QStringList>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    platform::Bundle::setMainInfoForTesting(QVariantMap{{QStringLiteral("QSConfig"),
                                                         QVariantMap{{QStringLiteral("QSPortalType"), QStringLiteral("qs")}}}});
    QSConfigProvider::resetCachesForTesting();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QStringList kCommands = {QStringLiteral("qsd://crashInfo"), QStringLiteral("qsd://innerCrashInfo"),
                                          QStringLiteral("qsd://privacyPolicy"), QStringLiteral("qsd://licenseAgreement")};
    const QString text = QString::fromUtf8(fuzz::bytes(data, size));
    // Only the exact addresses are commands.
    FUZZ_CHECK(shell::dispatchCommandUrl(text) == kCommands.contains(text));
    return 0;
}
