#pragma once
#include "telemetry/CoreGlobal.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>

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
    // The ".minisig" text for latestMacURL's archive ("latestBuildMacSignature", or
    // "latestBuildMacARMSignature" beside the ARM address); null when the entry has none.
    QString latestMacSignature;
    QString latestWinURL;
    QString appName = QStringLiteral("Corvala");
    QString appShortName;
    QString analyticsURL;
    QString logUploadUrl;
    QString commandLineArgs;
    QString installCommand;

    // Why the document gave no valid configuration; null when nothing was wrong with it.
    QString problem;

    // An absolute http or https address with a host. Addresses from the configuration of any other
    // kind (file:, data:, ftp:, ...) count as absent: Qt would read or write local files for them.
    // The text is read strictly; a QUrl is taken as it was read.
    static bool isWebAddress(const QString &text);
    static bool isWebAddress(const QUrl &url);

    // The retry limit of a "downloadRetryLimit" value: a number, or the leading whole number of
    // a string; missing, zero, negative or anything else gives 1.
    static quint64 retryLimitFrom(const QJsonValue &value);

private:
    void parseEntry(const QJsonObject &entry);
};
