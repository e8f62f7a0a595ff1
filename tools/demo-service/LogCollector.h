#pragma once
// Stores the run logs that the installer uploads with PUT: the path after the upload prefix
// becomes a path under the storage folder, with any missing folders created. A path that could
// leave the folder (an absolute path, "." or ".." segments, empty segments, NUL) is refused.

#include <QByteArray>
#include <QString>

#include <optional>

namespace demo {

class LogCollector {
public:
    explicit LogCollector(QString storageDir);

    bool isEnabled() const { return !m_storageDir.isEmpty(); }

    // The decoded request path below the prefix, checked; nothing when it is not acceptable.
    static std::optional<QString> safeRelativePath(const QString &path);

    // Writes the body whole to <storage>/<relativePath>, replacing an earlier upload of the same
    // name. Returns the absolute path written.
    [[nodiscard]] std::optional<QString> store(const QString &relativePath, const QByteArray &body,
                                               QString *error) const;

private:
    QString m_storageDir;
};

}  // namespace demo
