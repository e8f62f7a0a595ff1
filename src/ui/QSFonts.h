#pragma once
// The installer's one type family. Screens name its faces as "CommonSans-Regular",
// "CommonSans-DemiBold", "CommonSans-Bold", "CommonSans-Light" or the family "Common Sans"; these
// are served by the Open Sans faces embedded in the executable. Sizes are layout points, which Qt
// calls device-independent pixels.

#include <QFont>
#include <QString>

class QSFonts {
public:
    // The font for a face name and size. An unknown name gives the regular face.
    static QFont font(const QString &faceName, qreal size);

    // Registers the embedded faces with the font database once; true when all four are there.
    // font() calls it, so callers need not.
    static bool registerFonts();

    // The family the faces were registered under ("Open Sans").
    static QString familyName();

    // CSS declarations for a font, for rich text ("font-family:'Open Sans'; font-size:16px; ...").
    static QString css(const QFont &font);

    QSFonts() = delete;
};
