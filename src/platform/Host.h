#pragma once
// Everything the installer asks of the operating system goes through platform::Host, so that the
// core stays the same on every system and tests can put a fake in its place.

#include <QSize>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace platform {

struct OsVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;
};

struct FreeSpace {
    bool ok = false;
    quint64 bytes = 0;
    QString error;  // why the size could not be read, when !ok
};

// Reachability flags in the form the installer's network test reads them.
enum ReachabilityFlag : unsigned { Reachable = 2, ConnectionRequired = 4 };

// Words that differ between systems inside texts the installer sends.
enum class PlatformWord {
    RequestOs,    // "os" header of the configuration request: "mac" / "linux"
    AnalyticsOs,  // "OS" field of every analytics event: "OS X" / "Linux"
    PageOs,       // "os" parameter of web page addresses: "osx" / "linux"
};

class Host {
public:
    virtual ~Host() = default;

    // The user
    virtual QString homeDirectory() const = 0;
    virtual QString loginName() const = 0;  // login name of the real user id
    virtual bool isSuperUser() const = 0;   // effective uid 0 (always an administrator on Linux)
    // Explicit member list of a group; nullopt when the group does not exist.
    virtual std::optional<QStringList> groupMembers(const QString &group) const = 0;
    virtual QStringList administratorGroups() const = 0;  // "admin" on macOS

    // The machine
    virtual std::optional<OsVersion> osVersion() const = 0;  // nullopt: cannot be read
    virtual QString minimumOsVersion() const = 0;            // "10.13" on macOS
    virtual QString architectureDescription() const = 0;     // empty when unknown
    // Hardware report in the form of "system_profiler SPHardwareDataType" (lines such as
    // "Processor Name: ..."); null when it cannot be made.
    virtual QString hardwareReport() const = 0;
    // Interface listing in the form of "ifconfig -a" (each interface's "ether xx:xx:..");
    // null when it cannot be made.
    virtual QString interfaceListing() const = 0;
    virtual std::optional<QSize> mainScreenSize() const = 0;  // points; nullopt: no screen
    virtual FreeSpace freeSpace(const QString &path) const = 0;
    virtual std::optional<unsigned> reachabilityFlags() const = 0;  // nullopt: cannot be read

    // Locale
    virtual QStringList preferredLanguages() const = 0;  // BCP 47 tags, e.g. "en-US"
    virtual QString countryCode() const = 0;             // "US", or empty
    virtual bool isRightToLeft() const = 0;

    // Folders
    virtual QString defaultApplicationsDirectory() const = 0;  // "/Applications", "/opt"
    // A private folder of this user for temporary files (mode 0700); created on first use.
    virtual QString temporaryDirectory() const = 0;
    virtual QString cachesDirectory() const = 0;  // "~/Library/Caches", "~/.cache"

    virtual QString platformWord(PlatformWord word) const = 0;

    // Actions
    virtual bool openUrl(const QUrl &url) = 0;
    // Starts <bundle>/Contents/MacOS/<CFBundleExecutable> detached. False with a reason when
    // the system refuses.
    virtual bool launchApplication(const QString &bundlePath, const QStringList &arguments,
                                   QString *error) = 0;
};

// The host in use: the real one for this system unless a test has put another in place.
Host &host();
// Puts a host in place (not owned); nullptr restores the real one.
void setHost(Host *replacement);

}  // namespace platform
