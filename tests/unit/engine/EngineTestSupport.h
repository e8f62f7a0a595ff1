#pragma once
// Helpers shared by the engine's unit and integration tests.

#include "config/QSConfig.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QTemporaryDir;

namespace enginetest {

// Collects the analytics events of a test from "LOG_ANALYTICS".
class EventRecorder {
public:
    struct Event {
        QString name;
        QJsonObject fields;  // the event line's JSON object, "EVT" included
    };
    EventRecorder();
    ~EventRecorder();
    QList<Event> events;
    QList<Event> named(const QString &name) const;
    QStringList names() const;

private:
    quint64 token_ = 0;
};

// A configuration as the loader would give it.
std::shared_ptr<const QSConfig> makeConfig(const QString &url, quint64 retryLimit = 1,
                                           const QString &build = QStringLiteral("1234"));

// ZIP archives written with libarchive, so tests can make archives no honest tool would.
struct ZipEntry {
    enum class Type { File, Folder, Link };
    QString path;
    QByteArray data;
    Type type = Type::File;
    int perm = 0644;
    QString target;  // link target

    static ZipEntry file(const QString &path, const QByteArray &data, int perm = 0644) { return {path, data, Type::File, perm, {}}; }
    static ZipEntry folder(const QString &path) { return {path, {}, Type::Folder, 0755, {}}; }
    static ZipEntry link(const QString &path, const QString &target) { return {path, {}, Type::Link, 0777, target}; }
};
QByteArray makeZip(const QList<ZipEntry> &entries);
// "<name>/Contents/Info.plist" (with version and executable) and "<name>/Contents/MacOS/corvala".
QList<ZipEntry> productEntries(const QString &bundleName = QStringLiteral("Corvala.app"),
                               const QString &version = QStringLiteral("1234"));

// Writes <bundle>/Contents/Info.plist with the short version (none when null).
void writeInstalledBundle(const QString &bundlePath, const QString &shortVersion);

// Runs the event loop until done() or the time is up.
bool waitFor(const std::function<bool()> &done, int timeoutMs = 10000);

// Paths of every file, folder and link below root, relative, sorted.
QStringList treeOf(const QString &root);

}  // namespace enginetest
