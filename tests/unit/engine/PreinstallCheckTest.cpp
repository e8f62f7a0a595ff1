#include "TestEnv.h"

#include "engine/QSPreinstallCheck.h"

#include <gtest/gtest.h>

TEST(QSPreinstallCheck, VersionComparisonIsPartByPartAsIntegers)
{
    const std::tuple<const char *, const char *, bool> rows[] = {
        {"10.12.6", "10.13", false}, {"10.13.0", "10.13", true}, {"11.0.0", "10.13", true},  {"9.15.0", "10.13", false},
        {"(MacOS)Unknown", "10.13", false}, {"10.13", "10.13.1", false},  // a missing part counts as 0
        {"4.18.999", "4.19", false}, {"4.100.0", "4.19", true},           // integers, not text
    };
    for (const auto &[current, required, supported] : rows)
        EXPECT_EQ(QSPreinstallCheck::versionAtLeast(current, required), supported) << current << " " << required;
}

TEST(QSPreinstallCheck, MoreThanOneGibibyteFreeIsEnoughAndOnlineMeansNoConnectionToEstablish)
{
    const std::pair<platform::FreeSpace, bool> spaces[] = {
        {{true, 1073741824, {}}, false}, {{true, 1073741825, {}}, true}, {{false, quint64(9) << 30, "statvfs: I/O error"}, false}};
    for (const auto &[space, enough] : spaces) {
        TestEnv env;
        env.host.space = space;
        EXPECT_EQ(QSPreinstallCheck::hasEnoughSpace(), enough) << space.bytes;
        const QStringList records = env.logLines();
        EXPECT_EQ(records.size(), space.ok ? 0 : 1);
        EXPECT_EQ(records.filter("\"trace\": \"ERROR\", \"message\":\" Error: statvfs: I/O error\"")
                      .filter("\"file\": \"QSPreinstallCheck\", \"fn\": \"+[QSPreinstallCheck hasEnoughSpace]\"").size(), records.size());
    }
    for (const auto &[flags, online] : {std::pair<std::optional<unsigned>, bool>{std::nullopt, false}, {0u, false}, {2u, true}, {6u, false}, {11u, true}}) {
        TestEnv env;
        env.host.reachability = flags;
        EXPECT_EQ(QSPreinstallCheck::hasInternetConnection(), online) << flags.value_or(99);
    }
}

TEST(QSPrivileges, SuperUserOrExplicitMemberOfAnAdministratorGroup)
{
    const std::tuple<bool, QMap<QString, QStringList>, bool> rows[] = {
        {true, {}, true}, {false, {{"staff", {"tester"}}}, false}, {false, {{"admin", {"alice", "tester"}}}, true},
        {false, {{"admin", {"alice"}}, {"wheel", {"tester"}}}, true},
        {false, {{"admin", {"alice"}}, {"sudo", {}}}, false},  // a primary group is not a listing
        {false, {{"sudo", {"Tester", "tester2"}}}, false},      // names compare exactly
    };
    for (const auto &[superUser, groups, admin] : rows) {
        TestEnv env;
        env.host.superUser = superUser;
        env.host.groups = groups;
        EXPECT_EQ(QSPrivileges::hasAdminPrivileges(), admin) << QStringList(groups.keys()).join(',').toStdString();
    }
}
