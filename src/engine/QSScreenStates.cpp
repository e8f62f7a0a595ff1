#include "engine/QSScreenStates.h"

namespace {

using E = QSScreenElement;
constexpr QSElementChange Show = QSElementChange::Show;
constexpr QSElementChange Hide = QSElementChange::Hide;
constexpr QSElementChange Disable = QSElementChange::Disable;

const QList<QSElementSetting> kWelcome = {
    {E::PageView, Hide},     {E::SpinnerView, Hide}, {E::ProgressView, Hide},  {E::ProgressStatus, Hide},
    {E::ErrorView, Hide},    {E::CloseButton, Show}, {E::LaunchButton, Hide},
};
const QList<QSElementSetting> kConnecting = {
    {E::ProgressStatus, Hide}, {E::ProgressView, Show}, {E::InstallView, Hide},
    {E::ErrorView, Hide},      {E::PageView, Hide},     {E::SpinnerView, Show},
};
const QList<QSElementSetting> kDownloading = {
    {E::CloseButton, Show}, {E::ProgressView, Show}, {E::PageView, Show},    {E::ProgressStatus, Show},
    {E::ErrorView, Hide},   {E::InstallView, Hide},  {E::SpinnerView, Hide}, {E::InstallButton, Disable},
};
const QList<QSElementSetting> kDownloadDone = {
    {E::LaunchButton, Hide}, {E::ProgressStatus, Hide}, {E::ProgressView, Hide},
};
const QList<QSElementSetting> kFinished = {
    {E::LaunchButton, Show}, {E::ProgressStatus, Show}, {E::ProgressView, Hide}, {E::InstallButton, Hide},
};
const QList<QSElementSetting> kError = {
    {E::CloseButton, Show}, {E::ProgressView, Hide}, {E::ProgressStatus, Hide}, {E::InstallView, Hide},
    {E::SpinnerView, Hide}, {E::PageView, Hide},     {E::ErrorView, Show},
};

}  // namespace

const QList<QSElementSetting> &QSScreenStates::settings(QSScreenState state)
{
    switch (state) {
    case QSScreenState::Welcome:
        return kWelcome;
    case QSScreenState::Connecting:
        return kConnecting;
    case QSScreenState::Downloading:
        return kDownloading;
    case QSScreenState::DownloadDone:
        return kDownloadDone;
    case QSScreenState::Finished:
        return kFinished;
    case QSScreenState::Error:
        return kError;
    }
    return kWelcome;
}

QSElementChange QSScreenStates::change(QSScreenState state, QSScreenElement element)
{
    for (const QSElementSetting &setting : settings(state)) {
        if (setting.element == element)
            return setting.change;
    }
    return QSElementChange::Keep;
}
