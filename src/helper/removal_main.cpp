// The privileged removal helper. pkexec starts it as root, under a polkit action of its own, when
// the person may not write the applications folder. It takes nothing from its caller: which bundle,
// where, with which product identifier and which menu entry all come from its own root-owned
// Info.plist.
#include "HelperLine.h"
#include "ProcessBounds.h"
#include "TrustedInfo.h"

#include "archive/BundleRemoval.h"
#include "archive/RemovalProtocol.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace archives::removal;

#if defined(__SANITIZE_ADDRESS__)
// pkexec clears the environment: see the placement helper.
extern "C" const char *__asan_default_options()
{
    return "detect_leaks=0";
}
#endif

namespace {

Status statusOf(archives::RemovalReport::Outcome outcome)
{
    switch (outcome) {
    case archives::RemovalReport::Outcome::Removed: return Removed;
    case archives::RemovalReport::Outcome::NothingToRemove: return NothingToRemove;
    case archives::RemovalReport::Outcome::Refused: return Refused;
    case archives::RemovalReport::Outcome::Failed: break;
    }
    return Failed;
}

}  // namespace

int main()
{
    ::umask(022);
    // The installer may go away meanwhile: the removal runs to its end all the same.
    ProcessBounds::reset();
    QString error;
    if (::geteuid() != 0) {
        writeHelperLine(kErrorPrefix, QStringLiteral("the helper must run as root"));
        return NotConfigured;
    }
    const auto info = TrustedInfo::load(&error);
    const auto settings = info ? archives::PlacementSettings::fromInfo(*info, QString::fromLatin1(TrustedInfo::kDefaultApplications), &error)
                               : std::nullopt;
    if (!settings) {
        writeHelperLine(kErrorPrefix, error);
        return NotConfigured;
    }
    const archives::RemovalReport report = archives::BundleRemoval(*settings).run();
    for (const QString &path : report.removed)
        writeHelperLine(kRemovedPrefix, path);
    for (const auto &kept : report.kept)
        writeHelperLine(kKeptPrefix, kept.path + QLatin1Char('\t') + kept.reason);
    if (report.outcome == archives::RemovalReport::Outcome::Failed)
        writeHelperLine(kErrorPrefix, report.error);
    return statusOf(report.outcome);
}
