#include "ConfigDocument.h"

#include <QJsonArray>

#include <array>
#include <span>

namespace demo {

namespace {

struct PageText {
    const char16_t *title;
    const char16_t *description;
};

struct PageSet {
    const char16_t *locale;
    std::span<const PageText> pages;
};

// English has four pages so the carousel's "more items than it shows" case is on view;
// the other languages have three.
constexpr std::array kEnglish{
    PageText{u"Welcome to Corvala", u"Your projects, notes and files together in one calm place."},
    PageText{u"Everything in sync", u"Changes follow you from desk to laptop without a second thought."},
    PageText{u"Share with your team", u"Invite people to a project and work on it side by side."},
    PageText{u"Safe by design", u"Your work is encrypted on the way and at rest."},
};
constexpr std::array kGerman{
    PageText{u"Willkommen bei Corvala", u"Projekte, Notizen und Dateien an einem ruhigen Ort."},
    PageText{u"Immer auf dem neuesten Stand", u"Änderungen folgen Ihnen vom Schreibtisch zum Laptop."},
    PageText{u"Gemeinsam arbeiten", u"Laden Sie Ihr Team ein und arbeiten Sie Seite an Seite."},
};
constexpr std::array kFrench{
    PageText{u"Bienvenue dans Corvala", u"Vos projets, notes et fichiers réunis en un seul lieu."},
    PageText{u"Toujours synchronisé", u"Vos modifications vous suivent du bureau à l’ordinateur portable."},
    PageText{u"Partagez avec votre équipe", u"Invitez vos collègues et travaillez côte à côte."},
};
constexpr std::array kSpanish{
    PageText{u"Bienvenido a Corvala", u"Tus proyectos, notas y archivos juntos en un solo lugar."},
    PageText{u"Todo sincronizado", u"Tus cambios te siguen del escritorio al portátil."},
    PageText{u"Comparte con tu equipo", u"Invita a tus compañeros y trabajad codo con codo."},
};
constexpr std::array kHebrew{
    PageText{u"ברוכים הבאים ל-Corvala", u"הפרויקטים, הפתקים והקבצים שלך במקום אחד רגוע."},
    PageText{u"הכול מסונכרן", u"השינויים עוברים איתך מהמחשב השולחני למחשב הנייד."},
    PageText{u"שיתוף עם הצוות", u"הזמינו את הצוות ועבדו יחד על אותו פרויקט."},
};
constexpr std::array kJapanese{
    PageText{u"Corvala へようこそ", u"プロジェクト、メモ、ファイルをひとつの場所に。"},
    PageText{u"いつでも同期", u"変更はデスクからノートパソコンへ自動で届きます。"},
    PageText{u"チームで共有", u"メンバーを招待して、一緒に作業しましょう。"},
    PageText{u"安心の設計", u"データは転送中も保存時も暗号化されます。"},
};

constexpr std::array kPageSets{
    PageSet{u"en-US", kEnglish}, PageSet{u"de-DE", kGerman},   PageSet{u"fr-FR", kFrench},
    PageSet{u"es-ES", kSpanish}, PageSet{u"he-IL", kHebrew},   PageSet{u"ja-JP", kJapanese},
};

QJsonArray screens(const QString &imageBaseUrl)
{
    QJsonArray sets;
    for (const PageSet &set : kPageSets) {
        QJsonArray content;
        int number = 0;
        for (const PageText &page : set.pages) {
            ++number;
            content.append(QJsonObject{
                {QStringLiteral("text1"), QString::fromUtf16(page.title)},
                {QStringLiteral("text2"), QString::fromUtf16(page.description)},
                {QStringLiteral("image"), imageBaseUrl + QStringLiteral("page%1.png").arg(number)},
            });
        }
        sets.append(QJsonObject{
            {QStringLiteral("locale"), QString::fromUtf16(set.locale)},
            {QStringLiteral("content"), content},
        });
    }
    return sets;
}

}  // namespace

const QStringList &ConfigDocument::environments()
{
    static const QStringList names{QStringLiteral("dev1"), QStringLiteral("qa1"),
                                   QStringLiteral("beta"), QStringLiteral("prod")};
    return names;
}

bool ConfigDocument::isKnownEnvironment(const QString &environment)
{
    return environments().contains(environment);
}

QStringList ConfigDocument::pageLocales()
{
    QStringList locales;
    for (const PageSet &set : kPageSets)
        locales.append(QString::fromUtf16(set.locale));
    return locales;
}

QJsonObject ConfigDocument::build(const QString &environment, const ConfigLinks &links,
                                  const QString &latestBuild)
{
    QJsonObject product{
        {QStringLiteral("appName"), QStringLiteral("Corvala")},
        {QStringLiteral("latestBuildMacUrl"), links.downloadUrl},
        {QStringLiteral("latestBuildMacARMUrl"), links.downloadUrl},
        {QStringLiteral("latestBuildMac"), latestBuild},
        {QStringLiteral("downloadRetryLimit"), 3},
        // Carried by the document; the installer keeps it and never runs it.
        {QStringLiteral("macInstallCommand"),
         QStringLiteral("ditto -x -k Corvala.zip /Applications")},
        {QStringLiteral("screens"), screens(links.imageBaseUrl)},
    };
    if (!links.signature.isEmpty()) {
        product.insert(QStringLiteral("latestBuildMacSignature"), links.signature);
        product.insert(QStringLiteral("latestBuildMacARMSignature"), links.signature);
    }

    QJsonObject document{
        // Not read by the installer; it lets a test see which environment answered.
        {QStringLiteral("environment"), environment},
        {QStringLiteral("config"), QJsonArray{product}},
    };
    if (links.analyticsUrl)
        document.insert(QStringLiteral("analyticsUrl"), *links.analyticsUrl);
    if (links.logUploadUrl)
        document.insert(QStringLiteral("logUploadUrl"), *links.logUploadUrl);
    return document;
}

}  // namespace demo
