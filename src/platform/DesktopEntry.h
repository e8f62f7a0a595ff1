#pragma once
// The freedesktop menu entry of a placed product, so that it shows in the applications menu as a
// bundle in /Applications shows in Launchpad. The entry is made from the bundle's own Info.plist
// and written whole; a later installation replaces it, and an entry whose bundle is gone is
// removed rather than left pointing at nothing.
//
// Used by the in-process placement and, for system folders, by the privileged helper.

#include <QString>

#include <optional>

namespace platform {

class DesktopEntry {
public:
    // The menu folders: the person's own, for a product placed where the person may write
    // ("~/.local/share/applications"), and the system-wide one, for a product placed by the
    // privileged step ("/usr/local/share/applications").
    static QString personalFolder(const QString &homeDirectory);
    static QString systemFolder();
    // The folder of a placement the installer makes in its own process: the person's own, or
    // `systemMenu` when root places for someone (sudo, pkexec), as root never writes below a HOME
    // that another person controls. A removal looks where the installation wrote.
    static QString folderForThisRun(const QString &systemMenu);

    // "<bundle file name without .app, reduced to letters, digits, '-', '_', '.'>.desktop"
    static QString fileNameFor(const QString &bundlePath);

    // The entry's text for the bundle at bundlePath: Name from its CFBundleName (else
    // fallbackName), Exec starting Contents/MacOS/<CFBundleExecutable>, Icon from the PNG or SVG
    // in Contents/Resources that CFBundleIconFile names, and the mark (kWrittenForKey) that tells
    // a removal the entry is ours. With an installer, an action "Remove <name>" that starts it with
    // --remove. nullopt with a reason when the bundle cannot be started.
    static std::optional<QString> textFor(const QString &bundlePath, const QString &fallbackName, QString *error,
                                          const QString &installerExecutable = {});

    // Writes the entry of the bundle into folder (created when missing), atomically. When the
    // bundle is not there or cannot be started, removes any entry of that name instead, and
    // answers false with the reason.
    [[nodiscard]] static bool update(const QString &bundlePath, const QString &fallbackName, const QString &folder,
                                     QString *error, const QString &installerExecutable = {});

    // The key of the mark: "<key>=<bundle's absolute path>" in the [Desktop Entry] group.
    static constexpr char kWrittenForKey[] = "X-TinyInstaller-Bundle";
    // Whether an entry's text carries the mark for the bundle at bundlePath.
    static bool isWrittenFor(const QByteArray &entryText, const QString &bundlePath);

    // One argument of an Exec line, quoted by the freedesktop rules for Exec keys.
    static QString quoteExecArgument(const QString &argument);

    DesktopEntry() = delete;
};

}  // namespace platform
