// The privileged placement helper. pkexec starts it as root for the installer when the person may
// not write the applications folder. It takes nothing from its caller but the request on standard
// input: where to place and under which name come from its own root-owned Info.plist.
#include "BundlePlacement.h"
#include "HelperLine.h"
#include "ProcessBounds.h"
#include "StagingFolder.h"
#include "TrustedInfo.h"

#include "archive/PlacementProtocol.h"
#include "archive/PlacementSettings.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace archives::placement;

#if defined(__SANITIZE_ADDRESS__)
// pkexec clears the environment, so a sanitizer build never sees the ASAN_OPTIONS of its tests; the
// leak check at exit would turn every run into a failure status.
extern "C" const char *__asan_default_options()
{
    return "detect_leaks=0";
}
#endif

namespace {

int answer(int status, const QByteArray &line)
{
    writeHelperLine(line);
    return status;
}

int refuse(int status, const QString &reason)
{
    writeHelperLine(kErrorPrefix, reason);
    return status;
}

}  // namespace

int main()
{
    ::umask(022);
    // The installer may go away while we place: finish the placement and clean up all the same.
    // Nothing it set for itself (limits, ignored or blocked signals) applies to us.
    ProcessBounds::reset();
    QString error;
    if (::geteuid() != 0)
        return refuse(NotConfigured, QStringLiteral("the helper must run as the superuser"));
    // Authorised: from here on the installer waits for each of our answers within a bound.
    answer(Placed, kStartedLine);

    const auto info = TrustedInfo::load(&error);
    if (!info)
        return refuse(NotConfigured, error);
    const auto settings = archives::PlacementSettings::fromInfo(*info, QString::fromLatin1(TrustedInfo::kDefaultApplications), &error);
    if (!settings)
        return refuse(NotConfigured, error);
    // No key, no root: without the maker's key anyone in an administrator's session could have
    // any code placed root-owned, with a menu entry for every account.
    if (settings->archivePublicKey.isEmpty())
        return refuse(NotConfigured, QStringLiteral("the helper's Info.plist carries no kQSArchivePublicKey; "
                                                    "it places only archives signed by the maker"));
    // The menu entry's "Remove" action starts the installer beside us, as root placed it.
    archives::PlacementSettings placing = *settings;
    placing.installerExecutable = TrustedInfo::installerExecutable(*info);
    BundlePlacement placement(placing);
    if (!placement.prepareApplicationsFolder(&error))
        return refuse(NotConfigured, error);
    // What a killed helper left behind goes before anything new is written.
    StagingFolder::sweep(settings->applicationsDirectory, settings->bundleName);
    placement.setReporter([](const QByteArray &line) { answer(Placed, line); });

    // Authorised and configured: the installer may now download and send the archive.
    answer(Placed, kReadyLine);
    const Status status = placement.run(STDIN_FILENO);
    if (status != Placed)
        return refuse(status, placement.errorString());
    return answer(Placed, QByteArray(kPlacedPrefix) + placement.targetPath().toUtf8());
}
