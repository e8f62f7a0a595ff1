#include "ui/QSLinkTexts.h"

#include "config/QSConfigProvider.h"
#include "platform/Console.h"
#include "platform/Host.h"
#include "platform/Localization.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSSystemInfo.h"
#include "ui/QSColor.h"
#include "ui/QSFonts.h"
#include "ui/QSTextFormat.h"

#include <QUrlQuery>

namespace QSLinks {
QUrl termsOfService() { return QUrl(QStringLiteral("https://www.brightmoor.example/corvala/terms-of-service")); }
QUrl privacyStatement() { return QUrl(QStringLiteral("https://www.brightmoor.example/privacy-statement")); }
QUrl onlineHelp() { return QUrl(QStringLiteral("https://help.brightmoor.example/corvala")); }
QUrl onlineDownload() { return QUrl(QStringLiteral("https://www.brightmoor.example/corvala/download")); }
QUrl supportRequest() { return QUrl(QStringLiteral("https://support.brightmoor.example/request")); }
}  // namespace QSLinks

namespace {
QFont face(const char *name, qreal size)
{
    return QSFonts::font(QString::fromLatin1(name), size);
}
QString text(const char *key)
{
    return platform::localizedString(key);
}
}  // namespace

QSAttributedString QSLinkTexts::licenceSentence()
{
    const QColor grey = QSColor::hex(QStringLiteral("#6C7078"));
    const QFont regular = face("CommonSans-Regular", 16);
    const QFont bold = face("CommonSans-Bold", 16);
    QSAttributedString sentence;
    sentence.appendPlain(text("QSLicenceTextPart1"), regular, grey);
    // The agreement's name carries the maker's name, as in the licence window's title.
    const QString agreement = replacingPlaceholder(text("QSLicenceTextPart2"),
                                                   QSConfigProvider::getStringFromPlist(QStringLiteral("VENDOR_NAME")));
    sentence.appendLink(agreement, QSLinks::termsOfService(), bold, grey, Qt::black);
    sentence.appendPlain(text("QSLicenceTextPart3"), regular, grey);
    sentence.appendLink(text("QSLicenceTextPart4"), QSLinks::privacyStatement(), bold, grey, Qt::black);
    sentence.setAlignment(QSTextAlignment::Left);
    return sentence;
}

QSAttributedString QSLinkTexts::setupVisitOnlineSiteLabelUI()
{
    const QColor dark = QSColor::hex(QStringLiteral("#2F3034"));
    QSAttributedString subtitle;
    subtitle.appendPlain(text("ContactSupportText"), face("CommonSans-Regular", 12), dark);
    subtitle.appendLink(text("ContactSupportText1"), QSLinks::onlineHelp(), face("CommonSans-DemiBold", 12), dark,
                        Qt::black);
    subtitle.setAlignment(QSTextAlignment::Center);
    return subtitle;
}

QSAttributedString QSLinkTexts::setupContactSupportLabelsUI()
{
    const QColor grey = QSColor::hex(QStringLiteral("#6C7078"));
    const QFont light = face("CommonSans-Light", 16);
    QSAttributedString message;
    message.appendPlain(text("MessageInstallationFailedDescription"), light, grey);
    message.appendLink(text("MessageInstallationFailedDescription1"), QSLinks::onlineDownload(), light, grey, grey);
    message.appendPlain(text("MessageInstallationFailedDescription2"), light, grey);
    // "click here" says nothing out of its sentence: a screen reader that lists the links names
    // it for where it goes.
    message.appendLink(text("MessageInstallationFailedClickHere"), QSLinks::onlineHelp(),
                       face("CommonSans-DemiBold", 16), grey, Qt::black, text("QSAccessibleInstallationGuide"));
    message.appendPlain(text("MessageInstallationFailedDescription3"), light, grey);
    message.setAlignment(QSTextAlignment::Center);
    return message;
}

QUrl QSLinkTexts::privacyPolicyUrl(const QString &configUrl, const QString &country, const QString &language,
                                   const QString &locale)
{
    // The parameters in this order, values percent-encoded so an odd locale cannot break the query.
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("page"), QStringLiteral("privacypolicy"));
    query.addQueryItem(QStringLiteral("country"), country);
    query.addQueryItem(QStringLiteral("language"), language);
    query.addQueryItem(QStringLiteral("locale"), QSSystemInfo::configLocale(locale));
    query.addQueryItem(QStringLiteral("os"), platform::host().platformWord(platform::PlatformWord::PageOs));
    // A base address that carries a query of its own keeps it; ours follows it.
    QUrl url(configUrl);
    const QString own = url.query(QUrl::FullyEncoded);
    const QString ours = query.query(QUrl::FullyEncoded);
    url.setQuery(own.isEmpty() ? ours : own + QLatin1Char('&') + ours, QUrl::StrictMode);
    return url;
}

void QSLinkTexts::logLanguageLine(const QString &function)
{
    const QString line = QStringLiteral("Language: %1 (%2 / %3)")
                             .arg(QSSystemInfo::getLocale(), QSSystemInfo::getLanguage(), QSSystemInfo::getCountry());
    platform::console(line);
    QSLogger::debug(line, QSLogContext::make(__FILE__, function, __LINE__));
}
