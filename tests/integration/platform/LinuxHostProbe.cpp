// The real Linux host's answers as one JSON line, for tests that start it in a prepared
// environment (a locale, a network namespace). With a configuration address, it also loads the
// configuration from there and names the page set it chose.
//
//   linux-host-probe [config-url]
//   linux-host-probe extract <archive> <destination>
//   linux-host-probe group <name>

#include "TestEnv.h"

#include "archive/Extraction.h"
#include "config/QSConfig.h"
#include "config/QSConfigProvider.h"
#include "engine/QSPreinstallCheck.h"
#include "platform/Bundle.h"
#include "platform/Host.h"
#include "telemetry/QSPortalProvider.h"
#include "telemetry/QSSystemInfo.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);  // sets the process locale from the environment, as the installer's does
    if (argc == 3 && qstrcmp(argv[1], "group") == 0) {
        const auto members = platform::host().groupMembers(QString::fromLocal8Bit(argv[2]));
        const QJsonObject result{{"members", members ? QJsonValue(QJsonArray::fromStringList(*members)) : QJsonValue()}};
        std::fputs(QJsonDocument(result).toJson(QJsonDocument::Compact).append('\n').constData(), stdout);
        return 0;
    }
    if (argc == 4 && qstrcmp(argv[1], "extract") == 0) {
        QString error;
        const bool extracted = archives::extraction().extractArchive(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), &error);
        const QJsonObject result{{"extracted", extracted}, {"error", error}};
        std::fputs(QJsonDocument(result).toJson(QJsonDocument::Compact).append('\n').constData(), stdout);
        return 0;
    }
    QVariantMap info = TestEnv::defaultInfo();
    QVariantMap settings = info.value(QStringLiteral("QSConfig")).toMap();
    if (argc > 1)
        settings.insert(QStringLiteral("PRODUCTION_URL"), QString::fromUtf8(argv[1]));
    info.insert(QStringLiteral("QSConfig"), settings);
    platform::Bundle::setMainInfoForTesting(info);

    const QString mac = QSSystemInfo::getMacAddress();
    QJsonObject answers{
        {"languages", QJsonArray::fromStringList(platform::host().preferredLanguages())},
        {"language", QSSystemInfo::getLanguage()},
        {"country", QSSystemInfo::getCountry().isNull() ? QJsonValue() : QJsonValue(QSSystemInfo::getCountry())},
        {"locale", QSSystemInfo::getLocale()},
        {"supported", QSSystemInfo::configLocale(QSSystemInfo::getLocale())},
        {"mac", mac.isNull() ? QJsonValue() : QJsonValue(mac)},
        {"ci", QSPortalProvider::getCi()},
        {"online", QSPreinstallCheck::hasInternetConnection()},
    };
    const auto print = [&answers] {
        std::fputs(QJsonDocument(answers).toJson(QJsonDocument::Compact).append('\n').constData(), stdout);
        std::fflush(stdout);
    };
    if (argc <= 1) {
        print();
        return 0;
    }
    QSConfigProvider::loadConfigWithCompletion([&](std::shared_ptr<const QSConfig> config, std::optional<QSNetworkError>) {
        const QJsonValue first = config && !config->screens.isEmpty() ? config->screens.first() : QJsonValue();
        answers.insert("pages", first.toObject().value(QStringLiteral("text1")));
        print();
        app.quit();
    });
    QTimer::singleShot(20000, &app, [&app] { app.exit(1); });
    return app.exec();
}
