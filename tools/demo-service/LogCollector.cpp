#include "LogCollector.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace demo {

LogCollector::LogCollector(QString storageDir) : m_storageDir(std::move(storageDir)) {}

std::optional<QString> LogCollector::safeRelativePath(const QString &path)
{
    if (path.isEmpty() || path.startsWith(u'/') || path.endsWith(u'/') || path.contains(QChar(0)))
        return std::nullopt;
    const QStringList segments = path.split(u'/');
    for (const QString &segment : segments) {
        if (segment.isEmpty() || segment == u"." || segment == u"..")
            return std::nullopt;
    }
    return path;
}

std::optional<QString> LogCollector::store(const QString &relativePath, const QByteArray &body,
                                           QString *error) const
{
    const std::optional<QString> checked = safeRelativePath(relativePath);
    if (!checked) {
        *error = QStringLiteral("refused path: %1").arg(relativePath);
        return std::nullopt;
    }
    const QString target = QDir(m_storageDir).filePath(*checked);
    const QString folder = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create folder %1").arg(folder);
        return std::nullopt;
    }
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot open %1: %2").arg(target, file.errorString());
        return std::nullopt;
    }
    file.write(body);
    if (!file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(target, file.errorString());
        return std::nullopt;
    }
    return QFileInfo(target).absoluteFilePath();
}

}  // namespace demo
