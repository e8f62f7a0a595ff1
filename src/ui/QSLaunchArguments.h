#pragma once
// What the installer's own process arguments say about how it was started.

#include <QString>
#include <QStringList>

struct QSLaunchArguments {
    bool launchedFromDrive = false;
    QString target = QStringLiteral("WWW");  // "TRG" of the "Start" event
    QString data = QStringLiteral("");       // "CData" of the "Start" event

    // Each argument is compared whole and case-sensitively; a later match overwrites target and
    // data, and the drive flag once set stays set.
    static QSLaunchArguments scan(const QStringList &arguments);
};
