#pragma once
// The installer configuration document that the maker's configuration service hands out: the two
// telemetry endpoints and one product entry for Corvala with its archive, build, retry limit and
// onboarding pages in several languages.

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace demo {

struct ConfigLinks {
    // Absent values leave their key out of the document, for tests of a configuration
    // without telemetry endpoints.
    std::optional<QString> analyticsUrl;
    std::optional<QString> logUploadUrl;
    QString downloadUrl;
    QString imageBaseUrl;  // ends with "/"; "page1.png" and so on are appended
    QString signature;     // the archive's .minisig text; empty leaves the signature keys out
};

class ConfigDocument {
public:
    // The environments the service answers for; any other name is unknown.
    static const QStringList &environments();
    static bool isKnownEnvironment(const QString &environment);

    // Locales that carry onboarding pages.
    static QStringList pageLocales();

    static QJsonObject build(const QString &environment, const ConfigLinks &links,
                             const QString &latestBuild);
};

}  // namespace demo
