#include "shell/InstallOutcome.h"

#include "engine/QSScreens.h"

#include <csignal>
#include <cstring>

namespace shell {
namespace {

InstallOutcome make(int status, const char *outcome, const char *message)
{
    return {status, QString::fromLatin1(outcome), QString::fromUtf8(message)};
}

}  // namespace

InstallOutcome InstallOutcome::placed()
{
    return make(kExitPlaced, "placed", "%1 was installed in %2.");
}

InstallOutcome InstallOutcome::fromAlert(const QSInfoAlert &alert)
{
    // The screens' image names are fixed by the flow, one per blocking screen.
    const QString &icon = alert.iconName;
    if (icon == QLatin1String("alreadyInstalled"))
        return make(kExitNothingChanged, "already_installed", "%1 is already installed in %2; nothing changed.");
    if (icon == QLatin1String("no_space"))
        return make(kExitNoSpace, "no_space", "Not enough free space to install %1; nothing was installed.");
    if (icon == QLatin1String("no_internet"))
        return make(kExitNoConfiguration, "no_network", "No network connection; nothing was installed.");
    if (icon == QLatin1String("install_failed_block_img") && alert.exitOnClose && !alert.isURL)
        return make(kExitSystemTooOld, "system_too_old", "This system is older than %1 supports; nothing was installed.");
    return make(kExitPlacementFailed, "failed", "The installation of %1 failed; nothing was installed.");
}

InstallOutcome InstallOutcome::fromFailure(const QString &reason, bool signatureRefused)
{
    if (signatureRefused)
        return make(kExitSignatureRefused, "signature_refused",
                    "The archive of %1 does not carry the maker's valid signature; nothing was installed.");
    if (reason == QLatin1String("Config error"))
        return make(kExitNoConfiguration, "no_configuration",
                    "The installation service's configuration could not be loaded or used; nothing was installed.");
    if (reason == QLatin1String("Download Error"))
        return make(kExitDownloadFailed, "download_failed", "The download of %1 failed after every attempt; nothing was installed.");
    if (reason == QLatin1String("Extract error"))
        return make(kExitExtractionRefused, "extraction_refused",
                    "The archive of %1 could not be extracted, or its contents were refused; nothing was installed.");
    if (reason.endsWith(QLatin1String("authorisation refused")))
        return make(kExitNotAuthorised, "not_authorised",
                    "The authorisation to place %1 in %2 was refused; nothing was installed.");
    // Never an older build over a newer one: for a script, what is there is at least as new.
    if (reason.contains(QLatin1String(" is older than the installed ")))
        return make(kExitNothingChanged, "already_installed", "A newer %1 is already installed in %2; nothing changed.");
    return make(kExitPlacementFailed, "placement_failed", "%1 could not be placed in %2; nothing there was changed.");
}

InstallOutcome InstallOutcome::fromEndingStatus(int status)
{
    if (status > kExitInterruptedBase) {
        const int signalNumber = status - kExitInterruptedBase;
        const char *name = signalNumber == SIGINT ? "SIGINT" : signalNumber == SIGTERM ? "SIGTERM"
                         : signalNumber == SIGHUP ? "SIGHUP" : nullptr;
        InstallOutcome outcome = make(status, "interrupted", "");
        outcome.message = QStringLiteral("Interrupted by %1; nothing was left half-placed.")
                              .arg(name ? QString::fromLatin1(name) : QStringLiteral("signal %1").arg(signalNumber));
        return outcome;
    }
    return make(status, "crashed", "The installer ended after an internal error; the run log tells what happened.");
}

QString InstallOutcome::sentence(const QString &product, const QString &applications) const
{
    QString text = message;
    if (text.contains(QLatin1String("%2")))
        return text.arg(product, applications);
    if (text.contains(QLatin1String("%1")))
        return text.arg(product);
    return text;
}

}  // namespace shell
