#include "TestEnv.h"

#include "platform/LinuxHost.h"
#include "telemetry/QSPortalProvider.h"
#include "telemetry/QSSystemInfo.h"

#include <gtest/gtest.h>

// The locales of the environment are run through the real host in tests/integration/platform.
TEST(QSSystemInfo, ConfigLocaleFallsBackToASupportedOne)
{
    const std::pair<QString, QString> configLocales[] = {
        {"en-GB", "en-US"}, {"pt-PT", "pt-BR"}, {"zh-Hant-TW-TW", "zh-TW"}, {"zh-Hans-CN-CN", "zh-CN"},
        {"", "en-US"},      {"no-NO", "en-US"}, {"-x", "en-US"},           {"de", "de-DE"}};
    for (const auto &[input, expected] : configLocales)
        EXPECT_EQ(QSSystemInfo::configLocale(input), expected) << input.toStdString();
}

TEST(QSSystemInfo, ProcessorNameAndMacAddressComeFromTheReports)
{
    const std::pair<QString, QString> reports[] = {
        {"Model Name: Mac\n      Chip: Apple M2\n", "Apple M2"},
        {platform::LinuxHost::hardwareReportFromCpuInfo("processor\t: 0\nmodel name\t: Intel(R) Xeon(R)\nflags\t: fpu\n"), "Intel(R) Xeon(R)"},
        {platform::LinuxHost::hardwareReportFromCpuInfo("processor\t: 0\nCPU implementer\t: 0x41\nModel\t\t: Raspberry Pi 4\n"),
         "Raspberry Pi 4"},
        {"Memory: 8 GB\n", QString()}};
    for (const auto &[report, name] : reports)
        EXPECT_EQ(QSSystemInfo::cpuNameFromReport(report), name) << report.toStdString();
    EXPECT_EQ(QSSystemInfo::macAddressFromListing("lo0: ether 00:00:00:00:00:00\nen0: ether A4:83:e7:0b:1c:2d\nen1: ether 11:22:33:44:55:66"),
              QStringLiteral("A4:83:e7:0b:1c:2d"));
    EXPECT_TRUE(QSSystemInfo::macAddressFromListing(QStringLiteral("lo: ether 00:00:00:00:00:00\n")).isNull());
    const auto wsl = platform::LinuxHost::parseKernelRelease(QStringLiteral("5.15.90.1-microsoft-standard-WSL2"));
    ASSERT_TRUE(wsl);
    EXPECT_EQ(std::tuple(wsl->major, wsl->minor, wsl->patch), std::tuple(5, 15, 90));
    EXPECT_FALSE(platform::LinuxHost::parseKernelRelease(QStringLiteral("unknown")));
}

TEST(QSSystemInfo, MissingMachineAnswersGiveTheDocumentedFallbacks)
{
    TestEnv env;
    env.host.os.reset(), env.host.screen.reset(), env.host.architecture.clear();
    env.host.report = env.host.listing = QString();
    EXPECT_EQ(QSSystemInfo::getOSVersion(), QStringLiteral("(MacOS)Unknown"));
    EXPECT_TRUE(hasLineStartingWith(env.consoleLines, QStringLiteral("OS Version error: ")));
    EXPECT_EQ(QSSystemInfo::getScreenResolution(), QStringLiteral("0x0"));
    EXPECT_EQ(QSSystemInfo::getCPUType(), QStringLiteral("NA"));
    EXPECT_TRUE(QSSystemInfo::getCPUName().isNull() && QSSystemInfo::getMacAddress().isNull());
    // Not cached when absent: a later answer is picked up.
    env.host.report = QStringLiteral("Processor Name: Later CPU\n");
    EXPECT_EQ(QSSystemInfo::getCPUName(), QStringLiteral("Later CPU"));
}

// Expected identifiers were computed outside the code:
//   printf '%s' '<mac>_<home>' | sha256sum | cut -c1-36, then positions 8/13/18/23 -> '-',
//   14 -> '4', 19 -> '8'.
TEST(QSPortalProvider, IdentifierMatchesAnIndependentSha256)
{
    EXPECT_EQ(QSPortalProvider::ciFrom(QStringLiteral("52:54:00:12:34:56"), QStringLiteral("/home/tester")),
              QStringLiteral("42a2dcc8-7b52-4ef1-8e71-6785bc036fd2"));
    EXPECT_EQ(QSPortalProvider::ciFrom(QString(), QStringLiteral("/home/tester")),
              QStringLiteral("b7054c9c-4d6e-44ca-8af2-716ed6edca65"));
    // A home folder outside ASCII is hashed as UTF-8.
    EXPECT_EQ(QSPortalProvider::ciFrom(QStringLiteral("a4:83:e7:0b:1c:2d"), QStringLiteral("/Users/jürgen")),
              QStringLiteral("2ecbf872-f4db-4fe4-8934-987a61e928e3"));
}
