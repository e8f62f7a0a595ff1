#pragma once
// The installer's one type family. Screens name its faces as "CommonSans-Regular",
// "CommonSans-DemiBold", "CommonSans-Bold", "CommonSans-Light" or the family "Common Sans"; these
// are served by the Open Sans faces embedded in the executable, with Noto Sans Hebrew (also
// embedded) behind every face for the Hebrew letters Open Sans lacks. Sizes are layout points, which
// Qt calls device-independent pixels. A face that cannot be loaded leaves Qt's own substitute.

#include <QFont>
#include <QString>
#include <QStringList>

class QSFonts {
public:
    // The font for a face name and size. An unknown name gives the regular face.
    static QFont font(const QString &faceName, qreal size);

    // Registers the embedded faces with the font database once; true when all of them are there.
    // font() calls it, so callers need not.
    static bool registerFonts();

    // The family the faces were registered under ("Open Sans").
    static QString familyName();
    // The families every font of the screens asks for, in order: the faces' own, then the fallback.
    static QStringList families();

    // CSS declarations for a font, for rich text ("font-family:'Open Sans'; font-size:16px; ...").
    static QString css(const QFont &font);

    QSFonts() = delete;
};
