#pragma once
// The texts that lead the user elsewhere: the licence sentence of the welcome screen, the help
// texts of the error screens, and the addresses of the maker's web pages.

#include "ui/QSAttributedString.h"

#include <QString>
#include <QUrl>

namespace QSLinks {
// The product's and the maker's fixed web pages.
QUrl termsOfService();
QUrl privacyStatement();
QUrl onlineHelp();
QUrl onlineDownload();
QUrl supportRequest();
}  // namespace QSLinks

class QSLinkTexts {
public:
    // "QSLicenceTextPart1" to "Part4": two plain runs and two links, left-aligned.
    static QSAttributedString licenceSentence();
    // Subtitle of the error screens that offer help online.
    static QSAttributedString setupVisitOnlineSiteLabelUI();
    // Message of the installation-failed screen.
    static QSAttributedString setupContactSupportLabelsUI();

    // "<QSConfigUrl>?page=privacypolicy&country=..&language=..&locale=..&os=.."
    static QUrl privacyPolicyUrl(const QString &configUrl, const QString &country, const QString &language,
                                 const QString &locale);
    // Writes "Language: <locale> (<language> / <country>)" to the console and the run log.
    static void logLanguageLine(const QString &function);

    QSLinkTexts() = delete;
};
