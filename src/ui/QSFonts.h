#pragma once
// The installer's one type family. Screens name its faces as "CommonSans-Regular",
// "CommonSans-DemiBold", "CommonSans-Bold", "CommonSans-Light" or the family "Common Sans"; these
// are served by the Open Sans faces embedded in the executable, with Noto Sans Hebrew (also
// embedded) behind every face for the Hebrew letters Open Sans lacks. Sizes are layout points, which
// Qt calls device-independent pixels. A face that cannot be loaded leaves Qt's own substitute.

#include <QFont>
#include <QString>
#include <QStringList>

#include <thread>

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

    // Registers the embedded faces, reads the system's font list and asks which fonts stand in for
    // the families of the welcome screen, on a thread of its own while the window is being built:
    // some 10 ms that the window's first text would otherwise wait for. The font database is
    // thread-safe and keeps all of this for every thread; a caller that needs it before the thread
    // is done waits. (The faces themselves are loaded per thread: those stay with the window.)
    // Call it once the application object exists, and let the thread end before that object does.
    // An empty thread when none could be had: the first font asked for does the work then.
    static std::jthread prepareInBackground();

    // CSS declarations for a font, for rich text ("font-family:'Open Sans'; font-size:16px; ...").
    static QString css(const QFont &font);

    QSFonts() = delete;
};
