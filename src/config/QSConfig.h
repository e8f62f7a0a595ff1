#pragma once
#include "telemetry/CoreGlobal.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// The parsed remote installer configuration. Valid when it names a download (latestMacURL) and
// the build number of that download (lastBuildNumberMac): the engine needs both, for the
// download and for its events and version file.
class QSConfig {
public:
    QSConfig() = default;
    // Parses a decoded configuration document (initWithJSONObject:). Values of the wrong JSON
    // type count as missing.
    explicit QSConfig(const QJsonObject &document);

    // Decodes the bytes of a configuration answer: JSON whose top level is an object. None, with
    // the reason in *error, for anything else.
    static std::optional<QJsonObject> decodeDocument(const QByteArray &bytes, QString *error);

    bool isValid() const { return !latestMacURL.isNull() && !lastBuildNumberMac.isNull(); }
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

    // Why the document gave no valid configuration; null when nothing was wrong with it.
    QString problem;

    // The retry limit of a "downloadRetryLimit" value: a number, or the leading whole number of
    // a string; missing, zero, negative or anything else gives 1.
    static quint64 retryLimitFrom(const QJsonValue &value);

private:
    void parseEntry(const QJsonObject &entry);
};
