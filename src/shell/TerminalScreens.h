#pragma once
// The installation flow's screens on a terminal: what the window would show becomes a phase of
// the progress report, and each screen that would wait for the person ends the run instead with
// the outcome it stands for.

#include "engine/QSScreens.h"
#include "shell/InstallOutcome.h"

#include <functional>

namespace shell {

class RunReporter;

class TerminalScreens : public QSScreens {
public:
    // ended is called once, for the first screen that ends the run. signatureRefused asks the
    // flow whether a failure was the archive's signature.
    TerminalScreens(RunReporter &reporter, std::function<bool()> signatureRefused,
                    std::function<void(const InstallOutcome &)> ended);

    void showInfoAlert(const QSInfoAlert &alert) override;
    void showGenericError(const QString &reason) override;
    void setupPageController(const QSConfig &) override {}
    void showState(QSScreenState state) override;
    void updateLauchButtons() override;
    void makeMainViewVisible() override {}
    void hideCloseButton() override {}
    void updateProgress(float percentFill, const QString &label) override;
    bool isQuitConfirmationOpen() const override { return false; }

private:
    void end(const InstallOutcome &outcome);

    RunReporter &reporter_;
    std::function<bool()> signatureRefused_;
    std::function<void(const InstallOutcome &)> ended_;
    QString installingLabel_;
    bool endedOnce_ = false;
};

}  // namespace shell
