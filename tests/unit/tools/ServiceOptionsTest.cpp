#include "ServiceOptions.h"

#include <gtest/gtest.h>

#include <QTemporaryFile>

#include <string>
#include <vector>

namespace {

demo::ParsedOptions parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("demo-service"));
    return demo::parseServiceOptions(arguments, QString(), QStringLiteral("9.9.9"));
}

TEST(ServiceOptions, DefaultsPickAPortAndServeTheGivenBuild)
{
    const demo::ParsedOptions parsed = parse({});
    ASSERT_EQ(parsed.outcome, demo::ParsedOptions::Outcome::Run) << qPrintable(parsed.message);
    EXPECT_EQ(parsed.options.port, 0);
    EXPECT_EQ(parsed.options.latestBuild, QStringLiteral("9.9.9"));
    EXPECT_EQ(parsed.options.logStatus, 200);
    EXPECT_FALSE(parsed.options.analyticsUrl.has_value());
    EXPECT_FALSE(parsed.options.downloadUrl.has_value());
}

TEST(ServiceOptions, ReadsOverridesAndFaults)
{
    QTemporaryFile archive;
    ASSERT_TRUE(archive.open());
    const demo::ParsedOptions parsed =
        parse({QStringLiteral("--port=8123"), QStringLiteral("--public-base=http://localhost:99/base/"),
               QStringLiteral("--download-url=http://127.0.0.1:7/Corvala.zip"), QStringLiteral("--analytics-url="),
               QStringLiteral("--archive"), archive.fileName(), QStringLiteral("--fail-first=2"),
               QStringLiteral("--cut-body"), QStringLiteral("--log-status=403")});
    ASSERT_EQ(parsed.outcome, demo::ParsedOptions::Outcome::Run) << qPrintable(parsed.message);
    const demo::ServiceOptions &options = parsed.options;
    EXPECT_EQ(options.port, 8123);
    EXPECT_EQ(options.publicBase.toString(), QStringLiteral("http://localhost:99/base"));
    EXPECT_EQ(options.downloadUrl, QStringLiteral("http://127.0.0.1:7/Corvala.zip"));
    ASSERT_TRUE(options.analyticsUrl.has_value()) << "an empty value is kept, to leave the key out";
    EXPECT_TRUE(options.analyticsUrl->isEmpty());
    EXPECT_EQ(options.faults.failFirst, 2);
    EXPECT_TRUE(options.faults.cutBody);
    EXPECT_EQ(options.logStatus, 403);
}

// Plain strings so that gtest prints each command line readably.
using CommandLine = std::vector<std::string>;

class InvalidServiceOptions : public testing::TestWithParam<CommandLine> {};

TEST_P(InvalidServiceOptions, AreRefusedWithAReason)
{
    QStringList arguments;
    for (const std::string &argument : GetParam())
        arguments.append(QString::fromStdString(argument));
    const demo::ParsedOptions parsed = parse(arguments);
    EXPECT_EQ(parsed.outcome, demo::ParsedOptions::Outcome::Invalid);
    EXPECT_FALSE(parsed.message.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, InvalidServiceOptions,
    testing::Values(CommandLine{"--port=70000"}, CommandLine{"--port=http"}, CommandLine{"--fail-first=-1"},
                    CommandLine{"--log-status=99"}, CommandLine{"--log-status=abc"},
                    CommandLine{"--public-base=ftp://127.0.0.1/"}, CommandLine{"--public-base=127.0.0.1:8080"},
                    CommandLine{"--archive=/no/such/Corvala.zip"},
                    CommandLine{"--config-file=/no/such/config.json"}, CommandLine{"--cut-body", "--no-length"},
                    CommandLine{"--no-such-option"}, CommandLine{"stray"}));

}  // namespace
