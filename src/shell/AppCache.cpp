#include "shell/AppCache.h"

#include "platform/PersonalFiles.h"
#include "telemetry/QSLogger.h"

namespace shell {

QString appCachePath(const QString &cachesDirectory, const QString &identifier)
{
    // Without this check an empty identifier would name the whole caches folder.
    if (identifier.isEmpty() || identifier == QLatin1String(".") || identifier == QLatin1String("..")
        || identifier.contains(QLatin1Char('/')) || cachesDirectory.isEmpty())
        return QString();
    return cachesDirectory + QLatin1Char('/') + identifier;
}

bool removeAppCache(const QString &path, const QString &identifier, const QSLogContext &context)
{
    const QString shown = path.isNull() ? identifier : path;
    QSLogger::debug(QStringLiteral("Removing app cache from %1 .").arg(shown), context);

    QString failure;
    if (path.isNull()) {
        failure = QStringLiteral("\"%1\" does not name a cache folder").arg(identifier);
    } else {
        // Through folder handles, no link followed below the home folder when run as root: a
        // caches folder that is a link to someone else's folder is refused, not emptied.
        QString error;
        if (!platform::PersonalFiles::removeTree(path, &error))
            failure = error;
    }

    if (failure.isNull()) {
        QSLogger::debug(QStringLiteral("Successfully removed app cache from %1 .").arg(path), context);
        return true;
    }
    QSLogger::debug(QStringLiteral("Failed to remove app cache from %1 .").arg(shown), context);
    QSLogger::error(QStringLiteral("Error: %1").arg(failure), context);
    return false;
}

}  // namespace shell
