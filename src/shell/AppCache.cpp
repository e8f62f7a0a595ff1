#include "shell/AppCache.h"

#include "telemetry/QSLogger.h"

#include <QFile>

#include <filesystem>
#include <system_error>

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
        const std::filesystem::path target(QFile::encodeName(path).toStdString());
        std::error_code error;
        // symlink_status and remove_all act on a link itself, never on what it points to.
        const bool present = std::filesystem::exists(std::filesystem::symlink_status(target, error));
        if (!present) {
            const std::error_code missing = error ? error : std::make_error_code(std::errc::no_such_file_or_directory);
            failure = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(missing.message().c_str()));
        } else {
            std::filesystem::remove_all(target, error);
            if (error)
                failure = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(error.message().c_str()));
        }
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
