#include "ui/QSFonts.h"

#include "platform/Console.h"
#include "ui/QSTextDirection.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QResource>
#include <QStringList>

#include <iterator>
#include <optional>
#include <system_error>

namespace {

const char *const kFaceFiles[] = {
    ":/fonts/OpenSans-Regular.ttf",
    ":/fonts/OpenSans-Semibold.ttf",
    ":/fonts/OpenSans-Bold.ttf",
    ":/fonts/OpenSans-Light.ttf",
};

// Letters the faces above lack (Hebrew) come from here, for every face: Qt tries the families of
// a font in order for each character before it asks the system.
const char *const kFallbackFiles[] = {
    ":/fonts/NotoSansHebrew-Regular.ttf",
    ":/fonts/NotoSansHebrew-Bold.ttf",
};

struct Registration {
    bool complete = false;
    QString family = QStringLiteral("Open Sans");
    QString fallback = QStringLiteral("Noto Sans Hebrew");
};

// Adds one embedded font file; its first family name, or nothing when it could not be read.
std::optional<QString> addFont(const char *file)
{
    // The faces are stored uncompressed in the executable: the font database reads them where
    // they lie instead of from a copy of each file on the heap (about 1 MiB for the six).
    const QString path = QString::fromLatin1(file);
    const QResource resource(path);
    const bool inPlace = resource.isValid() && resource.compressionAlgorithm() == QResource::NoCompression;
    const int id = inPlace ? QFontDatabase::addApplicationFontFromData(QByteArray::fromRawData(
                                 reinterpret_cast<const char *>(resource.data()), qsizetype(resource.size())))
                           : QFontDatabase::addApplicationFont(path);
    if (id < 0) {
        platform::console(QStringLiteral("Font could not be loaded: %1").arg(QString::fromLatin1(file)));
        return std::nullopt;
    }
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    return families.isEmpty() ? QString() : families.first();
}

const Registration &registration()
{
    static const Registration result = [] {
        Registration r;
        int loaded = 0;
        for (const char *file : kFaceFiles) {
            const auto family = addFont(file);
            if (!family)
                continue;
            if (loaded == 0 && !family->isEmpty())
                r.family = *family;
            ++loaded;
        }
        for (const char *file : kFallbackFiles) {
            const auto family = addFont(file);
            if (!family)
                continue;
            if (!family->isEmpty())
                r.fallback = *family;
            ++loaded;
        }
        r.complete = loaded == int(std::size(kFaceFiles) + std::size(kFallbackFiles));
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
    // The Hebrew faces have no Light: Hebrew would be drawn Regular around Latin words in Light.
    // In a right-to-left interface the whole text takes the weight both scripts have.
    if (faceName == QLatin1String("CommonSans-Light"))
        return QSTextDirection::interfaceIsRightToLeft() ? QFont::Normal : QFont::Light;
    return QFont::Normal;  // "CommonSans-Regular", "Common Sans" and anything unknown
}

}  // namespace

QFont QSFonts::font(const QString &faceName, qreal size)
{
    QFont result(registration().family);
    result.setFamilies(families());
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

QStringList QSFonts::families()
{
    return {registration().family, registration().fallback};
}

QString QSFonts::css(const QFont &font)
{
    QStringList quoted;
    for (const QString &family : font.families().isEmpty() ? QStringList{font.family()} : font.families())
        quoted << QLatin1Char('\'') + family + QLatin1Char('\'');
    QString css = QStringLiteral("font-family:%1; font-weight:%2;").arg(quoted.join(QLatin1Char(','))).arg(int(font.weight()));
    if (font.pixelSize() > 0)
        css += QStringLiteral(" font-size:%1px;").arg(font.pixelSize());
    else if (font.pointSizeF() > 0)
        css += QStringLiteral(" font-size:%1pt;").arg(font.pointSizeF());
    if (font.italic())
        css += QStringLiteral(" font-style:italic;");
    return css;
}

std::jthread QSFonts::prepareInBackground()
{
    try {
        return std::jthread([] {
            registerFonts();
            QFontDatabase::families();
            // The stand-ins of the welcome screen's family, and of the toolkit's default, which
            // every rich text starts from.
            (void)QFontMetricsF(font(QStringLiteral("CommonSans-DemiBold"), 20)).lineSpacing();
            (void)QFontMetricsF(QGuiApplication::font()).lineSpacing();
        });
    } catch (const std::system_error &) {
        return {};
    }
}
