#pragma once
#include "telemetry/CoreGlobal.h"

#include <QString>
#include <QStringList>

// Questions about the machine and the user. Absent values are null QStrings (isNull()).
// The expensive answers are cached for the life of the process.
class QSSystemInfo {
public:
    static QString getOSVersion();         // "%d.%d.%d"; "(MacOS)Unknown" when unreadable
    static QString getScreenResolution();  // "%dx%d" in points; "0x0" without a screen
    static QString getCPUName();           // may be null
    static QString getCPUType();           // "NA" when unknown
    static QString getMacAddress();        // first non-zero address; may be null
    static QString getFirstPathOf(const QString &text);
    static QString getLanguage();
    static QString getCountry();
    static QString getLocale();
    static QString configLocale(const QString &locale);
    static bool isRTL();
    // The processor is named exactly "Apple M1" or "Apple M2" and its type is "ARM64E"; the
    // configuration asks it to choose the archive. Logs what it read.
    static bool isAppleM1();

    static const QStringList &supportedLocales();

    // Parsing steps, shared by every platform's report texts.
    static QString cpuNameFromReport(const QString &report);      // null when none
    static QString macAddressFromListing(const QString &listing); // null when none

    static void resetCachesForTesting();

    QSSystemInfo() = delete;
};
