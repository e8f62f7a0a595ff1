#pragma once
#include "telemetry/CoreGlobal.h"
#include "telemetry/QSNetworkError.h"

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class QSConfig;

// Bundle settings, the build's environment, and the remote configuration. Class-level only.
class QSConfigProvider {
public:
    static QVariantMap getPlist();
    static std::optional<QVariantMap> getPortalConfig();
    // The value under key in "QSConfig" as text; null when missing.
    static QString getStringFromPlist(const QString &key);
    static QString getPortalType();
    static QString getUrlPlist(const QString &key);
    static QString getConfigUrl();
    static QString getEnvSpecificAppDataPath();
    static QString getEnvSpecificBinaryName();
    static QString getAction(const QString &command);
    // "kQSApplicationsDirectory" inside "QSConfig" when present, else the system's folder.
    static QString getApplicationsDirectory();
    // "kQSMaximumArchiveBytes" inside "QSConfig" when it is a positive number, else the default:
    // the longest archive body that is written at all.
    static qint64 getMaximumArchiveBytes();

    // Fetches and parses the remote configuration. The completion runs exactly once, later, on
    // the main thread: (config, no error) when valid; (none, error) on a transport failure;
    // (none, none) for a document that is not usable. The request has an idle time-out and an
    // overall deadline, and at most 4 MiB of the answer are read (QSConfigLoader.cpp).
    using Completion = std::function<void(std::shared_ptr<const QSConfig>, std::optional<QSNetworkError>)>;
    static void loadConfigWithCompletion(Completion completion);

    static void resetCachesForTesting();

    QSConfigProvider() = delete;
};
