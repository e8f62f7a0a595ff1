#include "ui/QSFonts.h"

#include "platform/Console.h"

#include <QFontDatabase>
#include <QStringList>

#include <iterator>

namespace {

const char *const kFaceFiles[] = {
    ":/fonts/OpenSans-Regular.ttf",
    ":/fonts/OpenSans-Semibold.ttf",
    ":/fonts/OpenSans-Bold.ttf",
    ":/fonts/OpenSans-Light.ttf",
};

struct Registration {
    bool complete = false;
    QString family = QStringLiteral("Open Sans");
};

const Registration &registration()
{
    static const Registration result = [] {
        Registration r;
        int loaded = 0;
        for (const char *file : kFaceFiles) {
            const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(file));
            if (id < 0) {
                platform::console(QStringLiteral("Font could not be loaded: %1").arg(QString::fromLatin1(file)));
                continue;
            }
            const QStringList families = QFontDatabase::applicationFontFamilies(id);
            if (loaded == 0 && !families.isEmpty())
                r.family = families.first();
            ++loaded;
        }
        r.complete = loaded == int(std::size(kFaceFiles));
        return r;
    }();
    return result;
}

QFont::Weight weightForFace(const QString &faceName)
{
    if (faceName == QLatin1String("CommonSans-DemiBold"))
        return QFont::DemiBold;
    if (faceName == QLatin1String("CommonSans-Bold"))
        return QFont::Bold;
    if (faceName == QLatin1String("CommonSans-Light"))
        return QFont::Light;
    return QFont::Normal;  // "CommonSans-Regular", "Common Sans" and anything unknown
}

}  // namespace

QFont QSFonts::font(const QString &faceName, qreal size)
{
    QFont result(registration().family);
    result.setWeight(weightForFace(faceName));
    result.setPixelSize(qMax(1, qRound(size)));
    result.setStyleStrategy(QFont::PreferAntialias);
    result.setHintingPreference(QFont::PreferVerticalHinting);
    return result;
}

bool QSFonts::registerFonts()
{
    return registration().complete;
}

QString QSFonts::familyName()
{
    return registration().family;
}

QString QSFonts::css(const QFont &font)
{
    QString css = QStringLiteral("font-family:'%1'; font-weight:%2;")
                      .arg(font.family())
                      .arg(int(font.weight()));
    if (font.pixelSize() > 0)
        css += QStringLiteral(" font-size:%1px;").arg(font.pixelSize());
    else if (font.pointSizeF() > 0)
        css += QStringLiteral(" font-size:%1pt;").arg(font.pointSizeF());
    if (font.italic())
        css += QStringLiteral(" font-style:italic;");
    return css;
}
