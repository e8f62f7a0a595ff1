#include "TestEnv.h"

#include "engine/QSPreinstallCheck.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

TEST(QSPreinstallCheck, VersionComparisonIsPartByPartAsIntegers)
{
    const struct {
        const char *current, *required;
        bool supported;
    } rows[] = {
        {"10.12.6", "10.13", false}, {"10.13.0", "10.13", true}, {"10.13.1", "10.13", true},
        {"11.0.0", "10.13", true},   {"9.15.0", "10.13", false}, {"(MacOS)Unknown", "10.13", false},
        {"10", "10.13", false},      {"10.13", "10.13.1", false},  // a missing part counts as 0
        {"4.18.999", "4.19", false}, {"4.100.0", "4.19", true},    // integers, not text
    };
    for (const auto &row : rows)
        EXPECT_EQ(QSPreinstallCheck::versionAtLeast(row.current, row.required), row.supported) << row.current << " " << row.required;
}

TEST(QSPreinstallCheck, MoreThanOneGibibyteFreeIsEnough)
{
    const struct {
        platform::FreeSpace space;
        bool enough;
    } rows[] = {{{true, 1073741824, {}}, false}, {{true, 1073741825, {}}, true}, {{false, quint64(9) << 30, "statvfs: I/O error"}, false}};
    for (const auto &row : rows) {
        TestEnv env;
        env.host.space = row.space;
        EXPECT_EQ(QSPreinstallCheck::hasEnoughSpace(), row.enough) << row.space.bytes;
        const QStringList records = env.logLines();
        EXPECT_EQ(records.size(), row.space.ok ? 0 : 1);
        EXPECT_EQ(records.filter("\"trace\": \"ERROR\", \"message\":\" Error: statvfs: I/O error\"")
                      .filter("\"fn\": \"+[QSPreinstallCheck hasEnoughSpace]\"").size(), records.size());
    }
}

TEST(QSPreinstallCheck, ReachableOnlyWithoutAConnectionToEstablish)
{
    const std::pair<std::optional<unsigned>, bool> rows[] = {{std::nullopt, false}, {0u, false}, {2u, true}, {6u, false}, {11u, true}};
    for (const auto &[flags, online] : rows) {
        TestEnv env;
        env.host.reachability = flags;
        EXPECT_EQ(QSPreinstallCheck::hasInternetConnection(), online) << flags.value_or(99);
    }
}

TEST(QSPreinstallCheck, OnlyAppleM1AndM2WithTheArm64eTypeCount)
{
    const struct {
        const char *name, *type;
        bool m1;
    } rows[] = {{"Apple M1", "ARM64E", true},  {"Apple M2", "ARM64E", true},  {"Apple M1 Pro", "ARM64E", false},
                {"Apple M1", "arm64e", false}, {"Apple M1", "x86_64", false}, {"Apple M3", "ARM64E", false}};
    for (const auto &row : rows) {
        TestEnv env;
        env.host.report = QStringLiteral("Processor Name: %1\n").arg(QLatin1String(row.name));
        env.host.architecture = QString::fromLatin1(row.type);
        EXPECT_EQ(QSPreinstallCheck::isAppleM1(), row.m1) << row.name << " " << row.type;
        EXPECT_TRUE(env.logLines().value(0).contains(
            QStringLiteral("\"message\":\" CPU TYPE: %1, PROCESSOR TYPE: %2\"").arg(QLatin1String(row.type), QLatin1String(row.name))));
    }
}

TEST(QSPrivileges, SuperUserOrExplicitMemberOfAnAdministratorGroup)
{
    const struct {
        bool superUser;
        QMap<QString, QStringList> groups;
        bool admin;
    } rows[] = {
        {true, {}, true}, {false, {}, false}, {false, {{"staff", {"tester"}}}, false},
        {false, {{"admin", {"alice", "tester"}}}, true}, {false, {{"admin", {"alice"}}, {"wheel", {"tester"}}}, true},
        {false, {{"admin", {"alice"}}, {"sudo", {}}}, false},  // a primary group is not a listing
        {false, {{"sudo", {"Tester", "tester2"}}}, false},  // names compare exactly
    };
    for (const auto &row : rows) {
        TestEnv env;
        env.host.superUser = row.superUser;
        env.host.groups = row.groups;
        EXPECT_EQ(QSPrivileges::hasAdminPrivileges(), row.admin) << QStringList(row.groups.keys()).join(',').toStdString();
    }
}

TEST(QSPreinstallCheck, InstalledVersionComesFromTheProductBundle)
{
    const struct {
        QByteArray plistEntries;  // null: no bundle
        QString version;          // null: not installed
    } rows[] = {
        {QByteArray(), QString()},
        {"<key>CFBundleShortVersionString</key><string>2.5.1</string>", QStringLiteral("2.5.1")},
        {"<key>CFBundleShortVersionString</key><string></string>", QString()},
        {"<key>CFBundleVersion</key><string>77</string>", QString()},
        {"<key>CFBundleShortVersionString</key><integer>3</integer>", QString()},
        {"</broken", QString()},
    };
    for (const auto &row : rows) {
        TestEnv env;
        if (!row.plistEntries.isNull()) {
            const QString contents = env.host.applications + QStringLiteral("/Corvala.app/Contents");
            QFile plist(contents + QStringLiteral("/Info.plist"));
            ASSERT_TRUE(QDir().mkpath(contents) && plist.open(QIODevice::WriteOnly));
            plist.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>" + row.plistEntries +
                        "</dict></plist>");
        }
        const QString version = QSPreinstallCheck::currentMirolanVersion();
        EXPECT_TRUE(version == row.version && version.isNull() == row.version.isNull()) << row.plistEntries.constData();
    }
}
