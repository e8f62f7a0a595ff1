// The installer's side of the placement helper against the real helper, started directly (as root,
// as pkexec would) from a bundle with its own Info.plist: what a refused, missing or untrusted
// helper does, and the archive streamed to it as a download writes it. The flow's downloads through
// the helper are with the network tests'; pkexec and polkit are the privileged end-to-end run's;
// the helper's rules are its unit tests'.
#include "HelperBundle.h"

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
        {"authorised, then never ready", "/bin/sh", {"-c", "echo started; sleep 2"}, false},
        {"Info.plist writable by others", bundle.helper, {}, false},  // made so below
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (QString(c.what).startsWith("Info.plist"))
            QFile::setPermissions(bundle.dir.filePath("Tiny.app/Contents/Info.plist"), QFileDevice::Permissions(0x6666));
        QSPrivilegedPlacement placement;
        placement.setLauncher(c.program, c.arguments);
        placement.setAnswerLimits({.readyMs = 300});
        QSignalSpy unavailable(&placement, &QSPrivilegedPlacement::unavailable), authorised(&placement, &QSPrivilegedPlacement::authorised);
        placement.authorise();
        ASSERT_TRUE(unavailable.wait(10000));
        EXPECT_EQ(unavailable.at(0).at(0).toBool(), c.refused);
        EXPECT_EQ(unavailable.at(0).at(1).toString(), QString(c.what).startsWith("authorised") ? "the helper gave no answer for 0.3 s"
                                                                                            : unavailable.at(0).at(1).toString());
        EXPECT_TRUE(authorised.isEmpty());
    }
}

// A download abandoned by quitting places nothing and leaves no staging folder; a helper that has
// gone breaks the stream without ending the installer. (Whole and restarted downloads through the
// helper: the network tests'.)
TEST(PrivilegedPlacement, AnAbandonedStreamPlacesNothingAndAGoneHelperBreaksItQuietly)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the helper runs as root";
    HelperBundle bundle;
    for (const bool helperGone : {false, true}) {
        SCOPED_TRACE(helperGone ? "helper gone" : "quit during the download");
        QSPrivilegedPlacement placement;
        placement.setLauncher(helperGone ? QStringLiteral("/bin/sh") : bundle.helper,
                              helperGone ? QStringList{"-c", "echo ready"} : QStringList{});
        QSignalSpy authorised(&placement, &QSPrivilegedPlacement::authorised), unavailable(&placement, &QSPrivilegedPlacement::unavailable);
        placement.authorise();
        ASSERT_TRUE(authorised.wait(10000));
        const QByteArray bytes(1 << 20, 'x');
        const auto stream = placement.streamAttempt(bundle.signer.sign(bytes));
        if (helperGone) {
            ASSERT_TRUE(!unavailable.isEmpty() || unavailable.wait(10000));  // may have come with "ready"
        }
        stream->append(bytes);
        EXPECT_EQ(stream->isBroken(), helperGone);
    }  // the placement goes: the helper sees its stream end and places nothing
    EXPECT_TRUE(QDir(bundle.applications).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}
