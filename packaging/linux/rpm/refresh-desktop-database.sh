# The menu's handler of the installer's command addresses (x-scheme-handler in the desktop entry).
if command -v update-desktop-database >/dev/null 2>&1; then
    update-desktop-database -q /usr/share/applications || :
fi
