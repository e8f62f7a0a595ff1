#pragma once
// A bundle in a root-only folder holding a copy of the placement helper and an Info.plist that
// sends the product to an applications folder with the key of a signer: the helper started
// directly (as root, as pkexec would), without the package.

#include "MinisignTool.h"

#include "engine/QSPrivilegedPlacement.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

struct HelperBundle {
    // <folder>/apps unless applications is given.
    explicit HelperBundle(const QString &applications = {}) : applications(applications.isEmpty() ? dir.filePath("apps") : applications)
    {
        const QString contents = dir.filePath("Tiny.app/Contents");
        QDir().mkpath(contents + "/MacOS");
        QFile::copy(QStringLiteral(TI_HELPER_PATH), helper);
        QFile info(contents + "/Info.plist");
        info.open(QIODevice::WriteOnly);
        info.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>QSEnv</key><string>prod</string>"
                   "<key>QSConfig</key><dict><key>kQSInstallBinaryPathProd</key><string>Corvala.app</string>"
                   "<key>kQSApplicationsDirectory</key><string>" + this->applications.toUtf8() + "</string>"
                   "<key>kQSApplicationsMenuDirectory</key><string>" + dir.filePath("menu").toUtf8() + "</string>"
                   "<key>kQSArchivePublicKey</key><string>" + signer.publicKeyLine() + "</string></dict></dict></plist>\n");
    }
    // A placement that starts this helper directly.
    QSPrivilegedPlacement *placement(QObject *owner) const
    {
        auto *placement = new QSPrivilegedPlacement(owner);
        placement->setLauncher(helper, {});
        return placement;
    }

    QTemporaryDir dir{QStringLiteral("/tmp/helper-test-XXXXXX")};
    QString helper = dir.filePath("Tiny.app/Contents/MacOS/tiny-installer-helper");
    QString applications;
    const MinisignTool signer;
};
