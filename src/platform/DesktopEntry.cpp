#include "platform/DesktopEntry.h"

#include "platform/Bundle.h"
#include "platform/Host.h"
#include "platform/InvokingPerson.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace platform {
namespace {

bool hasControlCharacters(const QString &text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

// A string value of the entry file: backslashes are escapes there.
QString escapeValue(const QString &value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return escaped;
}

// The icon named by CFBundleIconFile ("Corvala", "Corvala.icns" or "Corvala.png"), as a PNG or
// SVG beside it in Contents/Resources; empty when there is none.
QString iconPath(const QString &bundlePath, const QVariantMap &info)
{
    const QString named = info.value(QStringLiteral("CFBundleIconFile")).toString();
    if (named.isEmpty() || named.contains(QLatin1Char('/')) || named.startsWith(QLatin1Char('.')))
        return {};
    const QDir resources(bundlePath + QStringLiteral("/Contents/Resources"));
    QString base = named;
    const QString suffix = QFileInfo(named).suffix().toLower();
    if (suffix == QLatin1String("png") || suffix == QLatin1String("svg") || suffix == QLatin1String("icns"))
        base.chop(suffix.size() + 1);
    for (const char *extension : {".png", ".svg"}) {
        const QFileInfo icon(resources.filePath(base + QLatin1String(extension)));
        if (icon.isFile())
            return icon.absoluteFilePath();
    }
    return {};
}

// The "Remove" action's name in the languages the installer speaks; the desktop picks one by its
// own language.
QString removeActionNames(const QString &name)
{
    const QString escaped = escapeValue(name);
    return QStringLiteral("Name=Remove %1\nName[de]=%1 entfernen\nName[he]=\u05D4\u05E1\u05E8\u05EA %1\n").arg(escaped);
}

QString writtenForLine(const QString &bundlePath)
{
    return QStringLiteral("%1=%2").arg(QLatin1String(DesktopEntry::kWrittenForKey),
                                       escapeValue(QFileInfo(bundlePath).absoluteFilePath()));
}

}  // namespace

QString DesktopEntry::personalFolder(const QString &homeDirectory)
{
    return QDir(homeDirectory).filePath(QStringLiteral(".local/share/applications"));
}

QString DesktopEntry::systemFolder()
{
    return QStringLiteral("/usr/local/share/applications");
}

QString DesktopEntry::folderForThisRun(const QString &systemMenu)
{
    return InvokingPerson::current() ? systemMenu : personalFolder(host().homeDirectory());
}

QString DesktopEntry::fileNameFor(const QString &bundlePath)
{
    QString name = QFileInfo(bundlePath).fileName();
    if (name.endsWith(QLatin1String(".app")))
        name.chop(4);
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    name.replace(unsafe, QStringLiteral("_"));
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char('-')))
        name.prepend(QStringLiteral("app"));
    return name + QStringLiteral(".desktop");
}

QString DesktopEntry::quoteExecArgument(const QString &argument)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
        if (c == QLatin1Char('%'))  // a literal percent sign is written twice
            quoted += QLatin1Char('%');
    }
    return quoted + QLatin1Char('"');
}

std::optional<QString> DesktopEntry::textFor(const QString &bundlePath, const QString &fallbackName, QString *error,
                                             const QString &installerExecutable)
{
    const QString bundle = QFileInfo(bundlePath).absoluteFilePath();
    const std::optional<QVariantMap> info = Bundle::infoOfBundleAt(bundle);
    const QString executableName = info ? info->value(QStringLiteral("CFBundleExecutable")).toString() : QString();
    const QString executable = bundle + QStringLiteral("/Contents/MacOS/") + executableName;
    QString problem;
    if (!info)
        problem = QStringLiteral("%1 has no readable Info.plist").arg(bundle);
    else if (executableName.isEmpty() || executableName.contains(QLatin1Char('/')))
        problem = QStringLiteral("%1 names no executable (CFBundleExecutable)").arg(bundle);
    else if (!QFileInfo(executable).isExecutable())
        problem = QStringLiteral("%1 is not an executable file").arg(executable);
    else if (hasControlCharacters(executable))
        problem = QStringLiteral("%1 cannot be written on an Exec line").arg(executable);
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return std::nullopt;
    }

    QString name = info->value(QStringLiteral("CFBundleName")).toString().simplified();
    if (name.isEmpty() || hasControlCharacters(name))
        name = fallbackName.simplified();
    if (name.isEmpty())
        name = QFileInfo(bundle).completeBaseName();
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\nVersion=1.0\n");
    text += QStringLiteral("Name=%1\n").arg(escapeValue(name));
    text += QStringLiteral("Exec=%1\n").arg(escapeValue(quoteExecArgument(executable)));
    const QString icon = iconPath(bundle, *info);
    if (!icon.isEmpty() && !hasControlCharacters(icon))
        text += QStringLiteral("Icon=%1\n").arg(escapeValue(icon));
    text += QStringLiteral("Terminal=false\nStartupNotify=true\n");
    text += writtenForLine(bundle) + QLatin1Char('\n');
    if (installerExecutable.isEmpty() || hasControlCharacters(installerExecutable))
        return text;
    text += QStringLiteral("Actions=Remove;\n\n[Desktop Action Remove]\n") + removeActionNames(name);
    text += QStringLiteral("Exec=%1 --remove\n").arg(escapeValue(quoteExecArgument(installerExecutable)));
    return text;
}

bool DesktopEntry::isWrittenFor(const QByteArray &entryText, const QString &bundlePath)
{
    const QString wanted = writtenForLine(bundlePath);
    const QStringList lines = QString::fromUtf8(entryText).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1Char('[')) && line.trimmed() != QLatin1String("[Desktop Entry]"))
            return false;  // the mark belongs to the main group, before any action
        if (line == wanted)
            return true;
    }
    return false;
}

bool DesktopEntry::update(const QString &bundlePath, const QString &fallbackName, const QString &folder, QString *error,
                          const QString &installerExecutable)
{
    QString ignored;
    if (!error)
        error = &ignored;
    const QString path = QDir(folder).filePath(fileNameFor(bundlePath));
    const std::optional<QString> text = textFor(bundlePath, fallbackName, error, installerExecutable);
    if (!text) {
        // Never leave an entry that starts nothing.
        if (QFileInfo::exists(path) && !QFile::remove(path))
            *error += QStringLiteral("; cannot remove %1").arg(path);
        return false;
    }
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    QSaveFile file(path);
    const QByteArray bytes = text->toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    // Readable by everyone, as menus of other accounts read the system folder.
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return true;
}

}  // namespace platform
