#pragma once
// The demo service's command line.

#include "ArchiveDownload.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace demo {

struct ServiceOptions {
    quint16 port = 0;                      // 0: the system picks a free port
    QUrl publicBase;                       // empty: http://127.0.0.1:<port>
    std::optional<QString> downloadUrl;    // replaces <base>/download/<archive name>
    std::optional<QString> analyticsUrl;   // replaces <base>/analytics; empty text omits the key
    std::optional<QString> logUploadUrl;   // replaces <base>/logs/; empty text omits the key
    QString latestBuild;
    QString configFile;                    // served verbatim instead of the built document
    QString archivePath;
    QString signingKey;                    // a minisign secret key: the archive's signature is served
    DownloadFaults faults;
    QString analyticsFile;
    QString logDir;
    int logStatus = 200;
    QString requestLog;
};

struct ParsedOptions {
    enum class Outcome { Run, ShowHelp, Invalid };
    Outcome outcome = Outcome::Run;
    ServiceOptions options;
    QString message;  // the help text or the reason the command line is invalid
};

// `arguments` includes the program name first, like QCoreApplication::arguments().
// Defaults for the archive and the build number come from the caller (the build knows them).
ParsedOptions parseServiceOptions(const QStringList &arguments, const QString &defaultArchive,
                                  const QString &defaultBuild);

}  // namespace demo
