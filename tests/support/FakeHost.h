#pragma once
// A platform::Host whose every answer a test sets; it records what the installer asked it to do.
// It stands in for the installer's extraction too, so a test can make that slow or fail.

#include "archive/Extraction.h"
#include "platform/Host.h"

#include <QList>
#include <QMap>

#include <functional>

class FakeHost : public platform::Host, public archives::Extraction {
public:
    FakeHost();
    ~FakeHost() override;  // restores the real host

    QString home = QStringLiteral("/home/tester");
    QString login = QStringLiteral("tester");
    bool superUser = false;
    QMap<QString, QStringList> groups;  // group -> explicit members
    QStringList adminGroups = {QStringLiteral("admin"), QStringLiteral("sudo"), QStringLiteral("wheel")};
    std::optional<platform::OsVersion> os = platform::OsVersion{6, 1, 0};
    QString minimumOs = QStringLiteral("4.19");
    QString architecture = QStringLiteral("x86_64");
    QString report = QStringLiteral("      Processor Name: Test CPU\n");
    QString listing = QStringLiteral("eth0: state up\n\tether 52:54:00:12:34:56\n");
    std::optional<QSize> screen = QSize(1440, 900);
    platform::FreeSpace space{true, quint64(50) << 30, {}};
    std::function<platform::FreeSpace(const QString &path)> spaceAt;  // when set, answers instead of space
    std::optional<unsigned> reachability = unsigned(platform::Reachable);
    QStringList languages = {QStringLiteral("en-US")};
    QString country = QStringLiteral("US");
    bool rightToLeft = false;
    QString applications = QStringLiteral("/opt");
    QString temporary;  // a QTemporaryDir of the test, usually
    QString caches;     // defaults to <home>/.cache

    // Recorded actions
    QList<QUrl> openedUrls;
    struct Launch {
        QString bundle;
        QStringList arguments;
    };
    QList<Launch> launches;
    bool launchSucceeds = true;
    // Extraction goes to the real implementation unless a test replaces it.
    std::function<bool(const QString &, const QString &, QString *)> extractor;

    QString homeDirectory() const override { return home; }
    QString loginName() const override { return login; }
    bool isSuperUser() const override { return superUser; }
    std::optional<QStringList> groupMembers(const QString &group) const override;
    QStringList administratorGroups() const override { return adminGroups; }
    std::optional<platform::OsVersion> osVersion() const override { return os; }
    QString minimumOsVersion() const override { return minimumOs; }
    QString architectureDescription() const override { return architecture; }
    QString hardwareReport() const override { return report; }
    QString interfaceListing() const override { return listing; }
    std::optional<QSize> mainScreenSize() const override { return screen; }
    platform::FreeSpace freeSpace(const QString &path) const override { return spaceAt ? spaceAt(path) : space; }
    std::optional<unsigned> reachabilityFlags() const override { return reachability; }
    QStringList preferredLanguages() const override { return languages; }
    QString countryCode() const override { return country; }
    bool isRightToLeft() const override { return rightToLeft; }
    QString defaultApplicationsDirectory() const override { return applications; }
    QString temporaryDirectory() const override { return temporary; }
    QString cachesDirectory() const override { return caches.isEmpty() ? home + QStringLiteral("/.cache") : caches; }
    QString platformWord(platform::PlatformWord word) const override;
    bool openUrl(const QUrl &url) override;
    bool launchApplication(const QString &bundlePath, const QStringList &arguments, QString *error) override;
    // Streams only while no extractor stands in for the real one.
    std::shared_ptr<archives::StreamingZipExtraction> streamArchive(const QString &bodyPath, const QString &destination,
                                                                    const std::atomic<bool> *cancelled) override;
    bool extractArchive(const QString &archivePath, const QString &destination, QString *error,
                        const std::atomic<bool> *cancelled = nullptr) override;
};
