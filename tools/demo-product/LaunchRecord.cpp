#include "LaunchRecord.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <unistd.h>

namespace corvala {

LaunchRecord LaunchRecord::fromArgv(int argc, char **argv)
{
    LaunchRecord record;
    // The kernel's view of the running file; argv[0] is whatever the launcher chose to pass.
    record.executable = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (record.executable.isEmpty() && argc > 0)
        record.executable = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath();
    record.uid = ::getuid();
    for (int i = 1; i < argc; ++i)
        record.arguments.append(QString::fromLocal8Bit(argv[i]));
    return record;
}

bool LaunchRecord::writeTo(const QString &path, QString *error) const
{
    QJsonObject object;
    object.insert(QStringLiteral("executable"), executable);
    object.insert(QStringLiteral("arguments"), QJsonArray::fromStringList(arguments));
    object.insert(QStringLiteral("uid"), qint64(uid));

    // A reader never sees half a file: the old one stays until the new one is complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    file.write(QJsonDocument(object).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace corvala
