#pragma once
// Shared by the engine's unit and integration tests: a recording window, a flow with the fake host
// and the analytics events it sends, and ZIP archives built with libarchive.

#include "TestEnv.h"
#include "TestZip.h"

#include "config/QSConfig.h"
#include "engine/QSInstallFlow.h"
#include "engine/QSScreens.h"
#include "platform/NotificationCenter.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTest>

namespace enginetest {

// Records every call in order: "showState:Connecting", "showInfoAlert:no_internet", ...
struct RecordingScreens : QSScreens {
    QStringList calls, genericErrors, statusLines;
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
    void updateProgress(float percentFill, const QString &label) override { progress << percentFill, statusLines << label; }
    bool isQuitConfirmationOpen() const override { return quitConfirmationOpen; }
};

inline bool isEmptyFolder(const QString &path) { return QDir(path).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot); }
// The fields of event that expected names, to compare with expected.
inline QJsonObject fieldsLike(const QJsonObject &event, const QJsonObject &expected)
{
    QJsonObject found;
    for (const QString &key : expected.keys())
        found.insert(key, event.value(key));
    return found;
}
inline std::shared_ptr<const QSConfig> makeConfig(const QString &url, quint64 retryLimit = 1)
{
    auto config = std::make_shared<QSConfig>();
    config->latestMacURL = url;
    config->lastBuildNumberMac = QStringLiteral("1234");
    config->downloadRetryLimit = retryLimit;
    return config;
}

// A flow with a recording window, the fake host, and a configuration loader the test answers.
struct FlowFixture {
    FlowFixture()
    {
        flow->setConfigLoader([this](QSConfigProvider::Completion completion) { pending << std::move(completion); });
        flow->setTerminate([this] { ++terminations; });
        // Short pauses between attempts keep the tests quick; their rule has tests of its own.
        flow->setRetryBackoff(QSRetryBackoff({std::chrono::milliseconds(20), std::chrono::milliseconds(100)}));
        observer = center().addObserver(QStringLiteral("LOG_ANALYTICS"), [this](const platform::Notification &n) {
            const QString line = n.object.toString();  // "<time> ci=<ci> <json>"
            events << QJsonDocument::fromJson(line.mid(line.indexOf(QLatin1Char('{'))).toUtf8()).object();
        });
    }
    ~FlowFixture() { flow.reset(), center().removeObserver(observer); }
    static platform::NotificationCenter &center() { return platform::NotificationCenter::defaultCenter(); }

    TestEnv env;
    RecordingScreens screens;
    QList<QJsonObject> events;  // analytics events, each its line's JSON object ("EVT" included)
    std::unique_ptr<QSInstallFlow> flow = std::make_unique<QSInstallFlow>(screens);
    QList<QSConfigProvider::Completion> pending;  // configuration requests not yet answered
    int terminations = 0;
    quint64 observer = 0;

    QStringList eventNames() const
    {
        QStringList names;
        for (const QJsonObject &event : events)
            names << event.value(QStringLiteral("EVT")).toString();
        return names;
    }
    QJsonObject named(const QString &event, int index = 0) const
    {
        for (const QJsonObject &e : events)
            if (e["EVT"] == event && index-- == 0)
                return e;
        return {};
    }
    // Starts and answers the configuration request with a configuration for url.
    void startWith(const QString &url, quint64 retryLimit = 1, const QByteArray &signature = {})
    {
        flow->startInstallation();
        answerConfiguration(url, retryLimit, signature);
    }
    // Answers the configuration request, if one is waiting, with a configuration for url.
    void answerConfiguration(const QString &url, quint64 retryLimit = 1, const QByteArray &signature = {})
    {
        auto config = std::const_pointer_cast<QSConfig>(makeConfig(url, retryLimit));
        config->latestMacSignature = QString::fromUtf8(signature);
        if (!pending.isEmpty())
            pending.takeLast()(config, std::nullopt);
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
    bool hasRecord(const QString &trace, const QString &message, const QString &function) const
    {
        const QString text = QStringLiteral("\"trace\": \"%1\", \"message\":\" %2\",").arg(trace, message);
        return !env.logLines().filter(text).filter(QStringLiteral("\"fn\": \"%1\"").arg(function)).isEmpty();
    }
};

using ZipEntry = TestZipEntry;
inline QByteArray makeZip(const QList<ZipEntry> &entries) { return testZipBytes(entries); }
// Bytes that do not compress, the same for the same seed.
inline QByteArray noise(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

inline QByteArray plist(const QString &shortVersion)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>CFBundleShortVersionString</key><string>" +
        shortVersion.toUtf8() + "</string><key>CFBundleExecutable</key><string>corvala</string></dict></plist>\n";
}
// A product bundle: Info.plist with version 1234, an executable, a link inside the bundle.
inline QList<ZipEntry> productEntries(const QString &bundleName = QStringLiteral("Corvala.app"))
{
    return {{bundleName + "/"},
            {bundleName + "/Contents/Info.plist", plist("1234")},
            {bundleName + "/Contents/MacOS/corvala", "#!/bin/sh\nexit 0\n", {}, 0755},
            {bundleName + "/Contents/Resources/current", {}, "../MacOS/corvala"}};
}
inline void writeInstalledBundle(const QString &bundlePath, const QString &shortVersion)
{
    QFile file(bundlePath + "/Contents/Info.plist");
    if (QDir().mkpath(bundlePath + "/Contents") && file.open(QIODevice::WriteOnly))
        file.write(plist(shortVersion));
}

}  // namespace enginetest
