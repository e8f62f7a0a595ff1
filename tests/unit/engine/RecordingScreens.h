#pragma once
// A window stand-in for flow tests: records every call in order and keeps the visibility of the
// window's elements by applying the state table, as the real window does.

#include "engine/QSScreenStates.h"
#include "engine/QSScreens.h"

#include <QMap>
#include <QString>
#include <QStringList>

class RecordingScreens : public QSScreens {
public:
    enum class Look { Shown, Hidden, Disabled };

    QStringList calls;  // "showState:Connecting", "showInfoAlert:no_internet", ...
    QList<QSInfoAlert> alerts;
    QStringList genericErrors;
    QList<float> progress;
    QStringList progressLabels;
    bool quitConfirmationOpen = false;
    int pageControllerSetups = 0;
    QMap<QSScreenElement, Look> looks;  // elements never set are absent

    void showInfoAlert(const QSInfoAlert &alert) override
    {
        calls << QStringLiteral("showInfoAlert:") + alert.iconName;
        alerts << alert;
        apply(QSScreenState::Error);
    }
    void showGenericError(const QString &reason) override
    {
        calls << QStringLiteral("showGenericError:") + reason;
        genericErrors << reason;
        apply(QSScreenState::Error);
    }
    void setupPageController(const QSConfig &) override
    {
        calls << QStringLiteral("setupPageController");
        ++pageControllerSetups;
    }
    void showState(QSScreenState state) override
    {
        calls << QStringLiteral("showState:") + name(state);
        apply(state);
    }
    void updateLauchButtons() override
    {
        calls << QStringLiteral("updateLauchButtons");
        apply(QSScreenState::Finished);
    }
    void makeMainViewVisible() override { calls << QStringLiteral("makeMainViewVisible"); }
    void hideCloseButton() override
    {
        calls << QStringLiteral("hideCloseButton");
        looks[QSScreenElement::CloseButton] = Look::Hidden;
    }
    void updateProgress(float percentFill, const QString &label) override
    {
        progress << percentFill;
        progressLabels << label;
    }
    bool isQuitConfirmationOpen() const override { return quitConfirmationOpen; }

    Look look(QSScreenElement element) const { return looks.value(element, Look::Shown); }
    bool shown(QSScreenElement element) const { return look(element) == Look::Shown; }

    static QString name(QSScreenState state)
    {
        static const char *const names[] = {"Welcome", "Connecting", "Downloading", "DownloadDone", "Finished", "Error"};
        return QString::fromLatin1(names[int(state)]);
    }

private:
    void apply(QSScreenState state)
    {
        for (const QSElementSetting &setting : QSScreenStates::settings(state)) {
            switch (setting.change) {
            case QSElementChange::Keep: break;
            case QSElementChange::Show: looks[setting.element] = Look::Shown; break;
            case QSElementChange::Hide: looks[setting.element] = Look::Hidden; break;
            case QSElementChange::Disable: looks[setting.element] = Look::Disabled; break;
            }
        }
    }
};
