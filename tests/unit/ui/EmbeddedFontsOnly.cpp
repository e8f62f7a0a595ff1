// Runs before main(), so before the font database starts: the screen tests see only the faces the
// installer embeds (see embedded-fonts-only.conf). A run that sets FONTCONFIG_FILE itself keeps it.

#include <QByteArray>
#include <QtGlobal>

namespace {
const bool kEmbeddedFontsOnly = [] {
    if (!qEnvironmentVariableIsSet("FONTCONFIG_FILE"))
        qputenv("FONTCONFIG_FILE", QByteArray(TI_EMBEDDED_FONTS_ONLY_CONF));
    return true;
}();
}  // namespace
