#include "shell/CommandUrls.h"

#include "telemetry/QSNotificationNames.h"

#include "config/QSConfigProvider.h"
#include "platform/NotificationCenter.h"

#include <QVariantMap>

namespace shell {
namespace {

struct Command {
    const char *name;
    const QString *notification;
    QVariant object;
};

}  // namespace

bool dispatchCommandUrl(const QString &text)
{
    const Command commands[] = {
        {"crashInfo", &QSNotificationNames::kShowCrashInfoDialog, QVariantMap{{QSNotificationNames::kWithOverlay, true}}},
        {"innerCrashInfo", &QSNotificationNames::kShowCrashInfoDialog, QVariantMap{{QSNotificationNames::kWithOverlay, false}}},
        {"privacyPolicy", &QSNotificationNames::kOpenPrivacyPolicyLink, QVariant()},
        {"licenseAgreement", &QSNotificationNames::kOpenEula, QVariant()},
    };
    for (const Command &command : commands) {
        // getAction also writes each address it builds to the console.
        if (text == QSConfigProvider::getAction(QString::fromLatin1(command.name))) {
            platform::NotificationCenter::defaultCenter().post(*command.notification, command.object);
            return true;
        }
    }
    return false;
}

}  // namespace shell
