#pragma once
#include "telemetry/CoreGlobal.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// The parsed remote installer configuration. Valid when latestMacURL is set.
class QSConfig {
public:
    QSConfig() = default;
    // Parses a decoded configuration document (initWithJSONObject:).
    explicit QSConfig(const QJsonObject &document);

    bool isValid() const { return !latestMacURL.isNull(); }
    QString description() const;

    quint64 infoScreensCount = 0;
    QJsonArray screens;  // the "content" pages of the user's locale
    QString lastBuildNumberMac;
    quint64 downloadRetryLimit = 1;
    QJsonArray softwareList;
    QJsonArray configList;
    QString latestMacURL;
    QString latestWinURL;
    QString appName = QStringLiteral("Corvala");
    QString appShortName;
    QString analyticsURL;
    QString logUploadUrl;
    QString commandLineArgs;
    QString installCommand;
};
