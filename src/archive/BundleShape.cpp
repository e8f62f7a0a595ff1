#include "archive/BundleShape.h"

#include "archive/ExtractedTree.h"
#include "archive/PlacementSettings.h"
#include "platform/Bundle.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace archives {

bool BundleShape::check(const QString &bundlePath, QString *error)
{
    const auto info = platform::Bundle::readPropertyList(bundlePath + QStringLiteral("/Contents/Info.plist"), error);
    if (!info)
        return false;
    const QString executable = info->value(QStringLiteral("CFBundleExecutable")).toString();
    if (!PlacementSettings::isPlainName(executable)) {
        *error = QStringLiteral("the bundle's Info.plist names no executable");
        return false;
    }
    // Links inside the bundle were resolved and found to stay inside it, so following them is safe.
    const QString path = bundlePath + QStringLiteral("/Contents/MacOS/") + executable;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode) || !(st.st_mode & 0111)) {
        *error = QStringLiteral("the bundle's executable %1 is missing or not executable").arg(executable);
        return false;
    }
    return true;
}

bool BundleShape::checkBeforePlacing(const QString &bundlePath, QString *error)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(bundlePath).constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = QStringLiteral("the archive holds no folder %1").arg(QFileInfo(bundlePath).fileName());
        return false;
    }
    return ExtractedTree::checkLinks(bundlePath, error) && check(bundlePath, error);
}

}  // namespace archives
