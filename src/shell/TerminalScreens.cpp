#include "shell/TerminalScreens.h"

#include "platform/Localization.h"
#include "shell/RunReporter.h"

namespace shell {

TerminalScreens::TerminalScreens(RunReporter &reporter, std::function<bool()> signatureRefused,
                                 std::function<void(const InstallOutcome &)> ended)
    : reporter_(reporter),
      signatureRefused_(std::move(signatureRefused)),
      ended_(std::move(ended)),
      installingLabel_(platform::localizedString("QSInstalling"))
{
}

void TerminalScreens::showInfoAlert(const QSInfoAlert &alert)
{
    end(InstallOutcome::fromAlert(alert));
}

void TerminalScreens::showGenericError(const QString &reason)
{
    end(InstallOutcome::fromFailure(reason, signatureRefused_ && signatureRefused_()));
}

void TerminalScreens::showState(QSScreenState state)
{
    switch (state) {
    case QSScreenState::Connecting:
        reporter_.phase(QStringLiteral("Connecting"));
        break;
    case QSScreenState::Downloading:
        reporter_.phase(QStringLiteral("Downloading"));
        break;
    case QSScreenState::Welcome:
    case QSScreenState::DownloadDone:
    case QSScreenState::Finished:
    case QSScreenState::Error:
        break;
    }
}

void TerminalScreens::updateLauchButtons()
{
    // The finished screen: the person would press Launch now. Unattended, the product is not
    // started (an administrator's run is nobody's session); the run ends placed.
    end(InstallOutcome::placed());
}

void TerminalScreens::updateProgress(float, const QString &label)
{
    // The bar's own progress comes in bytes (downloadProgress); what else the status line says,
    // such as when the next attempt starts, is a line of its own.
    if (label != installingLabel_)
        reporter_.note(label);
}

void TerminalScreens::end(const InstallOutcome &outcome)
{
    if (endedOnce_)
        return;
    endedOnce_ = true;
    if (ended_)
        ended_(outcome);
}

}  // namespace shell
