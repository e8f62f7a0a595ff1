#pragma once
#include "telemetry/CoreGlobal.h"

#include <QString>

// Questions asked before and during installation. No state; every answer is computed afresh.
class QSPreinstallCheck {
public:
    static bool hasInternetConnection();
    static bool hasEnoughSpace();
    static bool osVersionSupported();
    static QString currentMirolanVersion();  // null when not installed
    static bool isAppleM1();

    // Part-by-part comparison of dotted versions; false when current has fewer than two parts.
    static bool versionAtLeast(const QString &current, const QString &required);

    QSPreinstallCheck() = delete;
};

class QSPrivileges {
public:
    static bool hasAdminPrivileges();

    QSPrivileges() = delete;
};
