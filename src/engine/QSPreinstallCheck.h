#pragma once
#include "telemetry/CoreGlobal.h"

#include <QString>

// Questions asked before and during installation. No state; every answer is computed afresh
// from platform::host().
class QSPreinstallCheck {
public:
    // A general route works without first establishing a connection (no host is contacted).
    static bool hasInternetConnection();
    // More than 1 GiB free on the file system of "/"; false (with an ERROR record) when unknown.
    static bool hasEnoughSpace();
    // The system's version is at least the platform's minimum.
    static bool osVersionSupported();
    // "CFBundleShortVersionString" of <applications folder>/<product bundle>; null when not
    // installed or without a version text.
    static QString currentMirolanVersion();
    // The processor is named exactly "Apple M1" or "Apple M2" and its type is "ARM64E"
    // (answered by QSSystemInfo, which the configuration asks directly).
    static bool isAppleM1();

    // Compares dotted versions number by number from the left, a missing number counting as 0;
    // false when current has fewer than two numbers.
    static bool versionAtLeast(const QString &current, const QString &required);

    QSPreinstallCheck() = delete;
};

class QSPrivileges {
public:
    // The super user, or a user listed by name in one of the host's administrator groups.
    static bool hasAdminPrivileges();

    QSPrivileges() = delete;
};
