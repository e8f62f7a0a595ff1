// The installer's side of the placement helper against the real helper, started directly (as root,
// as pkexec would) from a bundle with its own Info.plist: what a refused, missing or untrusted
// helper does. The placement through pkexec, polkit and the helper is the privileged end-to-end
// run's; the helper's rules are its unit tests'.
#include "MinisignTool.h"

#include "engine/QSPrivilegedPlacement.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// A bundle in a root-only folder holding a copy of the helper and an Info.plist that sends the
// product to <folder>/apps.
struct HelperBundle {
    HelperBundle()
    {
        const QString contents = dir.filePath("Tiny.app/Contents");
        QDir().mkpath(contents + "/MacOS");
        QFile::copy(QStringLiteral(TI_HELPER_PATH), helper);
        QFile info(contents + "/Info.plist");
        info.open(QIODevice::WriteOnly);
        info.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>QSEnv</key><string>prod</string>"
                   "<key>QSConfig</key><dict><key>kQSInstallBinaryPathProd</key><string>Corvala.app</string>"
                   "<key>kQSApplicationsDirectory</key><string>" + dir.filePath("apps").toUtf8() + "</string>"
                   "<key>kQSApplicationsMenuDirectory</key><string>" + dir.filePath("menu").toUtf8() + "</string>"
                   "<key>kQSArchivePublicKey</key><string>" + signer.publicKeyLine() + "</string></dict></dict></plist>\n");
    }

    QTemporaryDir dir{QStringLiteral("/tmp/helper-test-XXXXXX")};
    QString helper = dir.filePath("Tiny.app/Contents/MacOS/tiny-installer-helper");
    const MinisignTool signer;
};

}  // namespace

TEST(PrivilegedPlacement, RefusedMissingOrUntrustedHelpersAreReportedBeforeTheDownload)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the helper runs as root";
    HelperBundle bundle;
    const struct {
        const char *what;
        QString program;
        QStringList arguments;
        bool refused;
    } cases[] = {
        {"dialog dismissed", "/bin/sh", {"-c", "exit 126"}, true},
        {"no authorisation possible", "/bin/sh", {"-c", "exit 127"}, true},
        {"helper missing", bundle.dir.filePath("missing"), {}, false},
        {"Info.plist writable by others", bundle.helper, {}, false},  // made so below
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (QString(c.what).startsWith("Info.plist"))
            QFile::setPermissions(bundle.dir.filePath("Tiny.app/Contents/Info.plist"), QFileDevice::Permissions(0x6666));
        QSPrivilegedPlacement placement;
        placement.setLauncher(c.program, c.arguments);
        QSignalSpy unavailable(&placement, &QSPrivilegedPlacement::unavailable), authorised(&placement, &QSPrivilegedPlacement::authorised);
        placement.authorise();
        ASSERT_TRUE(unavailable.wait(10000));
        EXPECT_EQ(unavailable.at(0).at(0).toBool(), c.refused);
        EXPECT_TRUE(authorised.isEmpty());
    }
}
