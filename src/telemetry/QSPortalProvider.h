#pragma once
#include "telemetry/CoreGlobal.h"

#include <QByteArray>
#include <QString>

// The client identifier ("ci"): 36 characters in the 8-4-4-4-12 form of a version-4 UUID, derived
// from the SHA-256 of "<MAC address>_<home directory>". The same for every run of one user on one
// machine; never stored.
class QSPortalProvider {
public:
    static QString getCi();  // made on first use; null when making it failed
    static void createCi();
    static QString hexadecimalString(const QByteArray &bytes);
    // The identifier for a given MAC address (null: "(null)") and home directory.
    static QString ciFrom(const QString &macAddress, const QString &homeDirectory);

    static void resetForTesting();

    QSPortalProvider() = delete;
};
