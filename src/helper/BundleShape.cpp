#include "BundleShape.h"

#include "platform/Bundle.h"
#include "platform/PlacementSettings.h"

#include <QFile>

#include <sys/stat.h>

bool BundleShape::check(const QString &bundlePath, QString *error)
{
    const auto info = platform::Bundle::readPropertyList(bundlePath + QStringLiteral("/Contents/Info.plist"), error);
    if (!info)
        return false;
    const QString executable = info->value(QStringLiteral("CFBundleExecutable")).toString();
    if (!platform::PlacementSettings::isPlainName(executable)) {
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
