#pragma once
// Shared by the engine's unit and integration tests: a recording window, a flow with the fake host
// and the analytics events it sends, and ZIP archives built with libarchive.

#include "TestEnv.h"

#include "config/QSConfig.h"
#include "engine/QSInstallFlow.h"
#include "engine/QSScreens.h"

#include <QDir>
#include <QJsonObject>
#include <QStringList>
#include <QTest>

#include <memory>

namespace enginetest {

// Records every call in order: "showState:Connecting", "showInfoAlert:no_internet", ...
struct RecordingScreens : QSScreens {
    QStringList calls, genericErrors;
    QList<QSInfoAlert> alerts;
    QList<float> progress;
    bool quitConfirmationOpen = false;

    void showInfoAlert(const QSInfoAlert &alert) override { calls << "showInfoAlert:" + alert.iconName, alerts << alert; }
    void showGenericError(const QString &reason) override { calls << "showGenericError:" + reason, genericErrors << reason; }
    void setupPageController(const QSConfig &) override { calls << QStringLiteral("setupPageController"); }
    void showState(QSScreenState state) override
    {
        static const char *const names[] = {"Welcome", "Connecting", "Downloading", "DownloadDone", "Finished", "Error"};
        calls << QStringLiteral("showState:") + QLatin1String(names[int(state)]);
    }
    void updateLauchButtons() override { calls << QStringLiteral("updateLauchButtons"); }
    void makeMainViewVisible() override { calls << QStringLiteral("makeMainViewVisible"); }
    void hideCloseButton() override { calls << QStringLiteral("hideCloseButton"); }
    void updateProgress(float percentFill, const QString &) override { progress << percentFill; }
    bool isQuitConfirmationOpen() const override { return quitConfirmationOpen; }
};

inline bool isEmptyFolder(const QString &path)
{
    return QDir(path).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}
// The fields of event that expected names, to compare with expected.
QJsonObject fieldsLike(const QJsonObject &event, const QJsonObject &expected);
std::shared_ptr<const QSConfig> makeConfig(const QString &url, quint64 retryLimit = 1);

// A flow with a recording window, the fake host, and a configuration loader the test answers.
struct FlowFixture {
    FlowFixture();
    ~FlowFixture();

    TestEnv env;
    RecordingScreens screens;
    QList<QJsonObject> events;  // analytics events, each its line's JSON object ("EVT" included)
    std::unique_ptr<QSInstallFlow> flow;
    QList<QSConfigProvider::Completion> pending;  // configuration requests not yet answered
    int terminations = 0;
    quint64 observer = 0;

    QStringList eventNames() const;
    QList<QJsonObject> named(const QString &event) const;
    // Starts and answers the configuration request with a configuration for url.
    void startWith(const QString &url, quint64 retryLimit = 1)
    {
        flow->startInstallation();
        if (!pending.isEmpty())
            pending.takeLast()(makeConfig(url, retryLimit), std::nullopt);
    }
    // Runs the event loop until the flow rests on an error, an alert or the finished state.
    bool waitUntilSettled() const
    {
        return QTest::qWaitFor([this] {
            return !screens.genericErrors.isEmpty() || !screens.alerts.isEmpty() || screens.calls.contains("updateLauchButtons");
        }, 10000);
    }
    QString bundlePath() const { return env.host.applications + QStringLiteral("/Corvala.app"); }
    QString versionFile() const { return env.host.home + QStringLiteral("/AppData/Prod/mirolan_version.json"); }
    bool temporaryFolderEmpty() const { return isEmptyFolder(env.host.temporary); }
    bool hasRecord(const QString &trace, const QString &message, const QString &function) const
    {
        const QString text = QStringLiteral("\"trace\": \"%1\", \"message\":\" %2\",").arg(trace, message);
        return !env.logLines().filter(text).filter(QStringLiteral("\"fn\": \"%1\"").arg(function)).isEmpty();
    }
};

struct ZipEntry {
    QString path;
    QByteArray data{};
    QString linkTarget{};  // a link when set; a folder when the path ends in "/"
    int perm = 0644;
};
QByteArray makeZip(const QList<ZipEntry> &entries);
// A product bundle: Info.plist with version 1234, an executable, a link inside the bundle.
QList<ZipEntry> productEntries(const QString &bundleName = QStringLiteral("Corvala.app"));
void writeInstalledBundle(const QString &bundlePath, const QString &shortVersion);
QByteArray readFile(const QString &path);

}  // namespace enginetest
