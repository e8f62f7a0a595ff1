// The installer's side of the placement helper against the real helper, started directly (as root,
// as pkexec would) from a bundle with its own Info.plist: what a refused, missing or untrusted
// helper does, and the archive streamed to it as a download writes it. The flow's downloads through
// the helper are with the network tests'; pkexec and polkit are the privileged end-to-end run's;
// the helper's rules are its unit tests'.
#include "HelperBundle.h"
#include "TestZip.h"

#include "engine/QSPlacementStream.h"
#include "engine/QSPrivilegedPlacement.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <unistd.h>

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

// Streamed as the download writes it: the helper places the archive that the last attempt sent
// whole; an attempt abandoned by quitting places nothing and leaves no staging folder; a helper
// that has gone breaks the stream without ending the installer.
TEST(PrivilegedPlacement, TheStreamedArchiveOfTheLastAttemptIsPlacedAndAnAbandonedOneIsNot)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the helper runs as root";
    HelperBundle bundle;
    const QByteArray archive = testZipBytes(
        {{"Corvala.app/Contents/Info.plist", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleExecutable</key>"
                                             "<string>Corvala</string></dict></plist>"},
         {"Corvala.app/Contents/MacOS/Corvala", "#!/bin/sh\n", {}, 0755}});
    const QByteArray signature = bundle.signer.sign(archive);
    enum { Quit, HelperGone, TwoAttempts };
    for (const int run : {Quit, HelperGone, TwoAttempts}) {
        SCOPED_TRACE(run);
        QSPrivilegedPlacement placement;
        if (run == HelperGone)
            placement.setLauncher("/bin/sh", {"-c", "echo ready"});
        else
            placement.setLauncher(bundle.helper, {});
        QSignalSpy authorised(&placement, &QSPrivilegedPlacement::authorised), placed(&placement, &QSPrivilegedPlacement::placed),
            unavailable(&placement, &QSPrivilegedPlacement::unavailable);
        placement.authorise();
        ASSERT_TRUE(authorised.wait(10000));
        const auto first = placement.streamAttempt(signature);
        if (run == HelperGone) {
            ASSERT_TRUE(!unavailable.isEmpty() || unavailable.wait(10000));  // may have come with "ready"
            first->append(QByteArray(1 << 20, 'x'));
            EXPECT_TRUE(first->isBroken());
            continue;
        }
        first->append(QByteArrayView(archive).first(archive.size() / 2));
        if (run == Quit)
            continue;  // the placement goes: the helper sees its stream end and places nothing
        const auto second = placement.streamAttempt(signature);  // the body starts over
        for (qsizetype at = 0; at < archive.size(); at += 100)
            second->append(QByteArrayView(archive).sliced(at, qMin<qsizetype>(100, archive.size() - at)));
        placement.place(archive.size());
        ASSERT_TRUE(placed.wait(10000));
        EXPECT_EQ(placed.at(0).at(0).value<QSPrivilegedPlacement::Outcome>(), QSPrivilegedPlacement::Outcome::Placed)
            << placed.at(0).at(1).toString().toStdString();
    }
    EXPECT_EQ(QDir(bundle.applications).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Corvala.app"});
}
