#pragma once
// A flow with a recording window, a fake host and a configuration loader the test answers.

#include "EngineTestSupport.h"
#include "RecordingScreens.h"
#include "TestEnv.h"

#include "engine/QSInstallFlow.h"

#include <QRegularExpression>

#include <memory>

class FlowFixture {
public:
    FlowFixture()
    {
        flow = std::make_unique<QSInstallFlow>(screens);
        flow->setConfigLoader([this](QSConfigProvider::Completion completion) { pending << std::move(completion); });
        flow->setTerminate([this] { ++terminations; });
    }
    ~FlowFixture() { flow.reset(); }

    TestEnv env;
    RecordingScreens screens;
    enginetest::EventRecorder events;
    std::unique_ptr<QSInstallFlow> flow;
    QList<QSConfigProvider::Completion> pending;  // configuration requests not yet answered
    int terminations = 0;

    // Start, then answer the configuration request with config.
    void startWith(std::shared_ptr<const QSConfig> config, std::optional<QSNetworkError> error = std::nullopt)
    {
        flow->startInstallation();
        if (!pending.isEmpty())
            pending.takeLast()(std::move(config), std::move(error));
    }

    QString applicationsPath(const QString &name = QStringLiteral("Corvala.app")) const
    {
        return env.host.applications + QLatin1Char('/') + name;
    }

    // Run-log records with this trace and message; the function ("fn") of each.
    QStringList functionsOf(const QString &trace, const QString &message) const
    {
        const QString needle = QStringLiteral("\"trace\": \"%1\", \"message\":\" %2\",").arg(trace, message);
        static const QRegularExpression fn(QStringLiteral("\"fn\": \"([^\"]*)\""));
        QStringList functions;
        for (const QString &line : env.logLines()) {
            if (line.contains(needle))
                functions << fn.match(line).captured(1);
        }
        return functions;
    }
    bool hasRecord(const QString &trace, const QString &message, const QString &function) const
    {
        return functionsOf(trace, message).contains(function);
    }
};
