#include "TestEnv.h"

#include "platform/LinuxHost.h"
#include "telemetry/QSSystemInfo.h"

#include <gtest/gtest.h>

TEST(QSSystemInfo, ConfigLocaleMapsOntoTheSupportedList)
{
    const QList<QPair<QString, QString>> cases = {
        {"en-GB", "en-US"}, {"fr-CA", "fr-FR"}, {"pt-PT", "pt-BR"}, {"zh-Hant-TW-TW", "zh-TW"},
        {"zh-Hans-CN-CN", "zh-CN"}, {"sv-SE", "sv-SE"}, {"", "en-US"}, {"es-MX", "es-ES"},
        {"no-NO", "en-US"}, {"he-IL", "he-IL"}, {"-x", "en-US"}, {"de", "de-DE"},
    };
    for (const auto &[input, expected] : cases)
        EXPECT_EQ(QSSystemInfo::configLocale(input), expected) << input.toStdString();
}

TEST(QSSystemInfo, LanguageCountryAndLocaleFollowTheUsersPreferences)
{
    TestEnv env;
    struct Case {
        QString preferred;
        QString country;
        QString language;
        QString locale;
    };
    const QList<Case> cases = {
        {"en-US", "US", "en", "en-US"},       {"de", "DE", "de", "de-DE"},
        {"zh-Hant-HK", "HK", "zh-Hant-HK", "zh-Hant-HK-HK"}, {"pt-BR", "", "pt", ""},
        {"-weird", "US", "-weird", "-weird-US"},
    };
    for (const Case &c : cases) {
        env.host.languages = {c.preferred};
        env.host.country = c.country;
        EXPECT_EQ(QSSystemInfo::getLanguage(), c.language) << c.preferred.toStdString();
        EXPECT_EQ(QSSystemInfo::getLocale(), c.locale) << c.preferred.toStdString();
        EXPECT_FALSE(QSSystemInfo::getLocale().isNull());
    }
    env.host.languages = {};
    EXPECT_EQ(QSSystemInfo::getLocale(), QString());
    // A host that knows no country still gives text, so the "country" header is sent empty.
    env.host.country = QString();
    EXPECT_FALSE(QSSystemInfo::getCountry().isNull());
}

TEST(QSSystemInfo, ProcessorNameComesFromTheReportWithChipAsFallback)
{
    EXPECT_EQ(QSSystemInfo::cpuNameFromReport(QStringLiteral("      Processor Name: Quad-Core Intel Core i7\n")),
              QStringLiteral("Quad-Core Intel Core i7"));
    EXPECT_EQ(QSSystemInfo::cpuNameFromReport(QStringLiteral("Model Name: Mac\n      Chip: Apple M2\n")),
              QStringLiteral("Apple M2"));
    EXPECT_EQ(QSSystemInfo::cpuNameFromReport(QStringLiteral("processor name: lower\n")), QStringLiteral("lower"));
    EXPECT_TRUE(QSSystemInfo::cpuNameFromReport(QStringLiteral("Memory: 8 GB\n")).isNull());
    // The Linux report is made from /proc/cpuinfo in the same form.
    const QString cpuinfo = QStringLiteral("processor\t: 0\nmodel name\t: Intel(R) Xeon(R) Processor\nflags\t: fpu\n");
    EXPECT_EQ(QSSystemInfo::cpuNameFromReport(platform::LinuxHost::hardwareReportFromCpuInfo(cpuinfo)),
              QStringLiteral("Intel(R) Xeon(R) Processor"));
    const QString arm = QStringLiteral("processor\t: 0\nCPU implementer\t: 0x41\nModel\t\t: Raspberry Pi 4 Model B\n");
    EXPECT_EQ(QSSystemInfo::cpuNameFromReport(platform::LinuxHost::hardwareReportFromCpuInfo(arm)),
              QStringLiteral("Raspberry Pi 4 Model B"));
}

TEST(QSSystemInfo, MacAddressIsTheFirstNonZeroSixPairAddress)
{
    EXPECT_EQ(QSSystemInfo::macAddressFromListing(
                  QStringLiteral("lo0: ether 00:00:00:00:00:00\nen0: ether A4:83:e7:0b:1c:2d\nen1: ether 11:22:33:44:55:66")),
              QStringLiteral("A4:83:e7:0b:1c:2d"));
    EXPECT_TRUE(QSSystemInfo::macAddressFromListing(QStringLiteral("lo: ether 00:00:00:00:00:00\n")).isNull());
    EXPECT_TRUE(QSSystemInfo::macAddressFromListing(QStringLiteral("nothing here")).isNull());
}

TEST(QSSystemInfo, MissingMachineAnswersGiveTheDocumentedFallbacks)
{
    TestEnv env;
    env.host.os.reset();
    env.host.screen.reset();
    env.host.architecture.clear();
    env.host.report = QString();
    env.host.listing = QString();
    EXPECT_EQ(QSSystemInfo::getOSVersion(), QStringLiteral("(MacOS)Unknown"));
    EXPECT_TRUE(hasLineStartingWith(env.consoleLines, QStringLiteral("OS Version error: ")));
    EXPECT_EQ(QSSystemInfo::getScreenResolution(), QStringLiteral("0x0"));
    EXPECT_EQ(QSSystemInfo::getCPUType(), QStringLiteral("NA"));
    EXPECT_TRUE(QSSystemInfo::getCPUName().isNull());
    EXPECT_TRUE(QSSystemInfo::getMacAddress().isNull());
    // Not cached when absent: a later answer is picked up.
    env.host.report = QStringLiteral("Processor Name: Later CPU\n");
    EXPECT_EQ(QSSystemInfo::getCPUName(), QStringLiteral("Later CPU"));
}

TEST(LinuxHost, KernelReleaseParsing)
{
    const auto version = platform::LinuxHost::parseKernelRelease(QStringLiteral("6.1.0-18-amd64"));
    ASSERT_TRUE(version);
    EXPECT_EQ(version->major, 6);
    EXPECT_EQ(version->minor, 1);
    EXPECT_EQ(version->patch, 0);
    const auto wsl = platform::LinuxHost::parseKernelRelease(QStringLiteral("5.15.90.1-microsoft-standard-WSL2"));
    ASSERT_TRUE(wsl);
    EXPECT_EQ(wsl->patch, 90);
    EXPECT_FALSE(platform::LinuxHost::parseKernelRelease(QStringLiteral("unknown")));
}
