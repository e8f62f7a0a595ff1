#include "TrustedInfo.h"

#include "platform/Bundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

std::optional<QVariantMap> TrustedInfo::load(QString *error)
{
    // The kernel's name of our own executable, not argv[0], which the caller chooses.
    const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (executable.isEmpty()) {
        *error = QStringLiteral("cannot find the helper's own executable");
        return std::nullopt;
    }
    const QString path = infoPathFor(executable);
    if (!isRootControlled(path, error))
        return std::nullopt;
    return platform::Bundle::readPropertyList(path, error);
}

QString TrustedInfo::installerExecutable(const QVariantMap &info)
{
    const QString name = info.value(QStringLiteral("CFBundleExecutable")).toString();
    const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || executable.isEmpty())
        return {};
    return QFileInfo(executable).path() + QLatin1Char('/') + name;
}

QString TrustedInfo::infoPathFor(const QString &executablePath)
{
    return QDir::cleanPath(QFileInfo(executablePath).path() + QStringLiteral("/../Info.plist"));
}

bool TrustedInfo::isRootControlled(const QString &path, QString *error)
{
    QString current = QDir::cleanPath(path);
    bool leaf = true;
    for (;;) {
        struct stat info {};
        if (::lstat(QFile::encodeName(current).constData(), &info) != 0) {
            *error = QStringLiteral("cannot read %1").arg(current);
            return false;
        }
        const bool expectedType = leaf ? S_ISREG(info.st_mode) : S_ISDIR(info.st_mode);
        const bool othersMayWrite = (info.st_mode & 022) && !(S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX));
        if (!expectedType || info.st_uid != 0 || othersMayWrite) {
            *error = QStringLiteral("%1 is not a %2 that only root may change")
                         .arg(current, leaf ? QStringLiteral("file") : QStringLiteral("folder"));
            return false;
        }
        if (current == QLatin1String("/"))
            return true;
        current = QFileInfo(current).path();
        leaf = false;
    }
}
