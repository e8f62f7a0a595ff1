#include "TestEnv.h"

#include "config/QSConfigProvider.h"
#include "platform/Bundle.h"
#include "platform/Console.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSPortalProvider.h"
#include "telemetry/QSSystemInfo.h"

#include <QDir>
#include <QFile>

TestEnv::TestEnv()
{
    host.home = scratch.filePath(QStringLiteral("home/tester"));
    host.temporary = scratch.filePath(QStringLiteral("tmp"));
    host.applications = scratch.filePath(QStringLiteral("Applications"));
    QDir().mkpath(host.home);
    QDir().mkpath(host.temporary);
    QDir().mkpath(host.applications);
    platform::setConsoleSink([this](const QString &line) { consoleLines << line; });
    info_ = defaultInfo();
    apply();
}

TestEnv::~TestEnv()
{
    // What the run wrote, for scripts/check-records, which holds docs/records.md against it.
    if (const QString seen = qEnvironmentVariable("TI_RECORDS_SEEN"); !seen.isEmpty()) {
        QFile file(seen);
        if (file.open(QIODevice::Append))
            file.write(logLines().join(QLatin1Char('\n')).toUtf8() + '\n');
    }
    platform::setConsoleSink(nullptr);
    platform::Bundle::setMainInfoForTesting(std::nullopt);
    QSConfigProvider::resetCachesForTesting();
    QSSystemInfo::resetCachesForTesting();
    QSPortalProvider::resetForTesting();
}

QVariantMap TestEnv::defaultInfo()
{
    QVariantMap config{
        {QStringLiteral("APP_NAME"), QStringLiteral("Corvala")},
        {QStringLiteral("VENDOR_NAME"), QStringLiteral("Brightmoor")},
        {QStringLiteral("AnalyticsProductName"), QStringLiteral("CORVALA")},
        {QStringLiteral("BG_COLOR"), QStringLiteral("#F7F7F9")},
        {QStringLiteral("QSConfigUrl"), QStringLiteral("https://www.brightmoor.example/privacy")},
        {QStringLiteral("AppleM1Support"), QStringLiteral("NO")},
        {QStringLiteral("DEV1_URL"), QStringLiteral("http://127.0.0.1:1/dev1")},
        {QStringLiteral("QA1_URL"), QStringLiteral("http://127.0.0.1:1/qa1")},
        {QStringLiteral("BETA_URL"), QStringLiteral("http://127.0.0.1:1/beta")},
        {QStringLiteral("PRODUCTION_URL"), QStringLiteral("http://127.0.0.1:1/prod")},
        {QStringLiteral("kQSApplicationDataPathDev1"), QStringLiteral("/AppData/Dev1")},
        {QStringLiteral("kQSApplicationDataPathQA1"), QStringLiteral("/AppData/QA1")},
        {QStringLiteral("kQSApplicationDataPathBeta"), QStringLiteral("/AppData/Beta")},
        {QStringLiteral("kQSApplicationDataPathProd"), QStringLiteral("/AppData/Prod")},
        {QStringLiteral("kQSInstallBinaryPathDev1"), QStringLiteral("Corvala Dev1.app")},
        {QStringLiteral("kQSInstallBinaryPathQA1"), QStringLiteral("Corvala QA1.app")},
        {QStringLiteral("kQSInstallBinaryPathBeta"), QStringLiteral("Corvala Beta.app")},
        {QStringLiteral("kQSInstallBinaryPathProd"), QStringLiteral("Corvala.app")},
    };
    return QVariantMap{
        {QStringLiteral("CFBundleIdentifier"), QStringLiteral("com.brightmoor.corvala.tinyinstaller.test")},
        {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.2.3")},
        {QStringLiteral("QSConfig"), config},
    };
}

void TestEnv::setInfo(const QVariantMap &info)
{
    info_ = info;
    apply();
}

void TestEnv::setSetting(const QString &key, const QVariant &value)
{
    QVariantMap config = info_.value(QStringLiteral("QSConfig")).toMap();
    config.insert(key, value);
    info_.insert(QStringLiteral("QSConfig"), config);
    apply();
}

void TestEnv::apply()
{
    platform::Bundle::setMainInfoForTesting(info_);
    QSConfigProvider::resetCachesForTesting();
    QSSystemInfo::resetCachesForTesting();
    QSPortalProvider::resetForTesting();
}

QString TestEnv::logFilePath() const
{
    return QSLogger::logFilePath();
}

QStringList TestEnv::logLines() const
{
    QFile file(logFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
