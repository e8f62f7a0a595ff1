#include "ServiceOptions.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace demo {

namespace {

std::optional<int> wholeNumber(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

ParsedOptions invalid(const QString &message)
{
    ParsedOptions parsed;
    parsed.outcome = ParsedOptions::Outcome::Invalid;
    parsed.message = message;
    return parsed;
}

}  // namespace

ParsedOptions parseServiceOptions(const QStringList &arguments, const QString &defaultArchive,
                                  const QString &defaultBuild)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The maker's services for the installer's demo and tests: configuration, product archive, "
        "page images, analytics and log collection. Listens on 127.0.0.1 only."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Port to listen on; 0 or absent picks a free one."),
                                  QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption publicBase(
        QStringLiteral("public-base"),
        QStringLiteral("Base address written into the configuration document instead of "
                       "http://127.0.0.1:<port>."),
        QStringLiteral("URL"));
    const QCommandLineOption downloadUrl(QStringLiteral("download-url"),
                                         QStringLiteral("Archive address in the configuration "
                                                        "document (for example on another server)."),
                                         QStringLiteral("URL"));
    const QCommandLineOption analyticsUrl(QStringLiteral("analytics-url"),
                                          QStringLiteral("Analytics address in the configuration "
                                                         "document; empty leaves the key out."),
                                          QStringLiteral("URL"));
    const QCommandLineOption logUploadUrl(QStringLiteral("log-upload-url"),
                                          QStringLiteral("Log upload prefix in the configuration "
                                                         "document; empty leaves the key out."),
                                          QStringLiteral("URL"));
    const QCommandLineOption latestBuild(QStringLiteral("latest-build"),
                                         QStringLiteral("Build number the document announces "
                                                        "(default: %1).").arg(defaultBuild),
                                         QStringLiteral("TEXT"), defaultBuild);
    const QCommandLineOption configFile(QStringLiteral("config-file"),
                                        QStringLiteral("Serve this file's bytes as the configuration "
                                                       "for every environment."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption archive(QStringLiteral("archive"),
                                     QStringLiteral("Product archive served under /download/ "
                                                    "(default: %1).").arg(defaultArchive),
                                     QStringLiteral("FILE"), defaultArchive);
    const QCommandLineOption signWith(QStringLiteral("sign-with"),
                                      QStringLiteral("Sign the archive with this minisign secret key (made "
                                                     "with minisign -G -W) and serve the signature in the "
                                                     "configuration document."),
                                      QStringLiteral("FILE"));
    const QCommandLineOption failFirst(QStringLiteral("fail-first"),
                                       QStringLiteral("Answer 404 to the first N archive requests."),
                                       QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption cutBody(QStringLiteral("cut-body"),
                                     QStringLiteral("Announce the archive's length, then close the "
                                                    "connection after half of it."));
    const QCommandLineOption noLength(QStringLiteral("no-length"),
                                      QStringLiteral("Send the archive without Content-Length, "
                                                     "ending it by closing the connection."));
    const QCommandLineOption analyticsFile(QStringLiteral("analytics-file"),
                                           QStringLiteral("Append every analytics POST body here."),
                                           QStringLiteral("FILE"));
    const QCommandLineOption logDir(QStringLiteral("log-dir"),
                                    QStringLiteral("Store uploaded logs under this folder."),
                                    QStringLiteral("DIR"));
    const QCommandLineOption logStatus(QStringLiteral("log-status"),
                                       QStringLiteral("HTTP status for log uploads (the body is "
                                                      "stored all the same)."),
                                       QStringLiteral("N"), QStringLiteral("200"));
    const QCommandLineOption requestLog(QStringLiteral("request-log"),
                                        QStringLiteral("Append one JSON line per request here."),
                                        QStringLiteral("FILE"));
    parser.addOptions({help, port, publicBase, downloadUrl, analyticsUrl, logUploadUrl, latestBuild,
                       configFile, archive, signWith, failFirst, cutBody, noLength, analyticsFile, logDir,
                       logStatus, requestLog});

    if (!parser.parse(arguments))
        return invalid(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return invalid(QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first()));
    if (parser.isSet(help)) {
        ParsedOptions parsed;
        parsed.outcome = ParsedOptions::Outcome::ShowHelp;
        parsed.message = parser.helpText();
        return parsed;
    }

    ServiceOptions options;
    if (const auto value = wholeNumber(parser.value(port), 0, 65535))
        options.port = static_cast<quint16>(*value);
    else
        return invalid(QStringLiteral("--port needs a number from 0 to 65535"));

    if (parser.isSet(publicBase)) {
        QString text = parser.value(publicBase);
        while (text.endsWith(u'/'))
            text.chop(1);
        options.publicBase = QUrl(text, QUrl::StrictMode);
        if (!options.publicBase.isValid() || options.publicBase.host().isEmpty()
            || (options.publicBase.scheme() != u"http" && options.publicBase.scheme() != u"https"))
            return invalid(QStringLiteral("--public-base needs an absolute http(s) address"));
    }
    if (parser.isSet(downloadUrl))
        options.downloadUrl = parser.value(downloadUrl);
    if (parser.isSet(analyticsUrl))
        options.analyticsUrl = parser.value(analyticsUrl);
    if (parser.isSet(logUploadUrl))
        options.logUploadUrl = parser.value(logUploadUrl);
    options.latestBuild = parser.value(latestBuild);

    options.configFile = parser.value(configFile);
    if (!options.configFile.isEmpty() && !QFileInfo(options.configFile).isReadable())
        return invalid(QStringLiteral("--config-file %1 cannot be read").arg(options.configFile));

    options.archivePath = parser.value(archive);
    if (!options.archivePath.isEmpty() && !QFileInfo(options.archivePath).isFile())
        return invalid(QStringLiteral("--archive %1 is not a file").arg(options.archivePath));

    options.signingKey = parser.value(signWith);
    if (!options.signingKey.isEmpty() && !QFileInfo(options.signingKey).isReadable())
        return invalid(QStringLiteral("--sign-with %1 cannot be read").arg(options.signingKey));

    if (const auto value = wholeNumber(parser.value(failFirst), 0, 1000000))
        options.faults.failFirst = *value;
    else
        return invalid(QStringLiteral("--fail-first needs a number of requests"));
    options.faults.cutBody = parser.isSet(cutBody);
    options.faults.noLength = parser.isSet(noLength);
    if (options.faults.cutBody && options.faults.noLength)
        return invalid(QStringLiteral("--cut-body and --no-length exclude each other"));

    options.analyticsFile = parser.value(analyticsFile);
    options.logDir = parser.value(logDir);
    if (const auto value = wholeNumber(parser.value(logStatus), 200, 599))
        options.logStatus = *value;
    else
        return invalid(QStringLiteral("--log-status needs an HTTP status from 200 to 599"));
    options.requestLog = parser.value(requestLog);

    ParsedOptions parsed;
    parsed.options = options;
    return parsed;
}

}  // namespace demo
