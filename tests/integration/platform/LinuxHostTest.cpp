// The real Linux host in child processes: the locale environment as a person sets it, and network
// namespaces whose interfaces and routes the test makes with `ip` (root only; skipped otherwise).

#include "TestHttpServer.h"

#include "platform/PreferredLanguages.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kProbe = QStringLiteral(TI_LINUX_HOST_PROBE);

QByteArray configDocument()
{
    QJsonArray sets;
    for (const char *locale : {"zh-TW", "zh-CN", "en-US"})
        sets.append(QJsonObject{{"locale", locale}, {"content", QJsonArray{QJsonObject{{"text1", locale}}}}});
    const QJsonObject entry{{"appName", "Corvala"}, {"latestBuildMacUrl", "https://dl.example/x64.zip"},
                            {"latestBuildMac", "1.4.2"}, {"screens", sets}};
    return QJsonDocument(QJsonObject{{"config", QJsonArray{entry}}}).toJson(QJsonDocument::Compact);
}

// Runs command with only the given variables (and PATH), waiting in the event loop so that a
// server of this process can answer. Standard output's lines, parsed as JSON objects.
QList<QJsonObject> run(const QString &command, const QStringList &arguments, const QStringList &variables)
{
    QProcess process;
    QProcessEnvironment environment;
    environment.insert(u"PATH"_s, qEnvironmentVariable("PATH"));
    for (const QString &variable : variables)
        environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    process.setProcessEnvironment(environment);
    process.start(command, arguments);
    EXPECT_TRUE(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    QList<QJsonObject> lines;
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        if (line.startsWith('{'))
            lines << QJsonDocument::fromJson(line).object();
    }
    return lines;
}

}  // namespace

TEST(LinuxHostLocale, LanguageCountryLocaleHeadersAndPagesFollowTheEnvironment)
{
    TestHttpServer server;
    server.answer("/config", {200, {{"Content-Type", "application/json"}}, configDocument()});
    QTemporaryDir home;
    const struct {
        QString variable;
        const char *language, *country, *locale, *supported, *pages;
    } rows[] = {
        {u"LANG=zh_TW.UTF-8"_s, "zh-Hant-TW", "TW", "zh-Hant-TW-TW", "zh-TW", "zh-TW"},
        // LC_ALL decides over LANG
        {u"LC_ALL=zh_HK.UTF-8"_s, "zh-Hant-HK", "HK", "zh-Hant-HK-HK", "zh-TW", "zh-TW"},
        {u"LANG=zh_CN.UTF-8"_s, "zh-Hans-CN", "CN", "zh-Hans-CN-CN", "zh-CN", "zh-CN"},
        // The desktop's language list alone, without a script: the territory gives it.
        {u"LANGUAGE=zh_TW"_s, "zh-Hant-TW", "", "", "en-US", "en-US"},
        // Not installed on the test machine; the answers do not depend on it.
        {u"LC_ALL=pt_BR.UTF-8"_s, "pt", "BR", "pt-BR", "pt-BR", nullptr},
        {u"LANG=C.UTF-8"_s, "en", "", "", "en-US", "en-US"},
        {u"LANG=xx_YY.UTF-8"_s, "xx", "", "", "en-US", "en-US"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.variable.toStdString());
        const qsizetype before = server.requests().size();
        QStringList variables{u"HOME="_s + home.path(), row.variable};
        if (row.variable.startsWith(u"LC_ALL"_s))
            variables << u"LANG=de_DE.UTF-8"_s;
        const QList<QJsonObject> answers = run(kProbe, {server.url(u"/config"_s).toString()}, variables);
        ASSERT_EQ(answers.size(), 1);
        const QJsonObject &answer = answers.first();
        EXPECT_TRUE(answer["country"].isString()) << "country is never absent";
        EXPECT_EQ(QStringList({answer["language"].toString(), answer["country"].toString(), answer["locale"].toString(),
                               answer["supported"].toString(), answer["pages"].toString()}),
                  QStringList({row.language, row.country, row.locale, row.supported, row.pages}));

        ASSERT_EQ(server.requests().size(), before + 1);
        const TestHttpServer::Request &request = server.requests().last();
        EXPECT_EQ(QList<QByteArray>({request.header("ci"), request.header("country"), request.header("locale")}),
                  QList<QByteArray>({answer["ci"].toString().toUtf8(), row.country, row.locale}));
    }
}

// Qt usually adds the script itself ("zh-TW", then "zh-Hant-TW"); a list that names none takes it
// from the territory: Taiwan, Hong Kong and Macao write Traditional, the rest Simplified.
TEST(LinuxHostLocale, ChineseWithoutAScriptTakesItFromTheTerritory)
{
    using platform::PreferredLanguages;
    const QList<std::pair<QStringList, QStringList>> rows = {
        {{u"zh-TW"_s}, {u"zh-Hant-TW"_s}}, {{u"zh_HK"_s, u"en"_s}, {u"zh-Hant-HK"_s, u"en"_s}}, {{u"zh-MO"_s}, {u"zh-Hant-MO"_s}},
        {{u"zh-CN"_s}, {u"zh-Hans-CN"_s}}, {{u"zh-SG"_s}, {u"zh-Hans-SG"_s}}, {{u"zh"_s}, {u"zh-Hans"_s}},
        {{u"zh-TW"_s, u"zh-Hans-TW"_s}, {u"zh-Hans-TW"_s}},  // a script named later for the same territory wins
    };
    for (const auto &[given, expected] : rows)
        EXPECT_EQ(PreferredLanguages::fromUiLanguages(given), expected) << given.join(u',').toStdString();
}

class LinuxHostNetwork : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::getuid() != 0)
            GTEST_SKIP() << "network namespaces need root";
        if (QProcess::execute(u"unshare"_s, {u"-n"_s, u"true"_s}) != 0)
            GTEST_SKIP() << "no network namespaces here";
    }

    // Runs the shell steps in a fresh network and mount namespace with its own sysfs; "probe"
    // prints the host's answers as one line.
    QList<QJsonObject> inNamespace(const QString &steps)
    {
        const QString script = u"set -e; mount -t sysfs sysfs /sys; ip link set lo up; probe() { \"%1\" \"$@\"; }; %2"_s.arg(kProbe, steps);
        return run(u"unshare"_s, {u"-n"_s, u"-m"_s, u"--"_s, u"sh"_s, u"-c"_s, script}, {u"HOME="_s + home.path()});
    }
    QTemporaryDir home;
};

TEST_F(LinuxHostNetwork, TheIdentifierComesFromTheMostStableInterface)
{
    const QList<QJsonObject> steps = inNamespace(
        u"address() { echo \"{\\\"address\\\": \\\"$(cat /sys/class/net/$1/address)\\\"}\"; }; probe; "
        // Random addresses only: the lowest index wins (the bridge, made first).
        "ip link add br0 type bridge; ip link add v0 type veth peer name v1; probe; address br0; "
        // An address a person set is preferred to random ones of lower indexes.
        "ip link set v1 address 02:00:5e:00:53:11; probe; "
        // The bridge comes back with a new random address and index; nothing changes.
        "ip link del br0; ip link add br0 type bridge; probe"_s);
    ASSERT_EQ(steps.size(), 5);
    // No interface with an address: the identifier of no address.
    EXPECT_TRUE(steps[0]["mac"].isNull());
    EXPECT_EQ(steps[0]["ci"].toString().size(), 36);
    EXPECT_EQ(steps[1]["mac"].toString(), steps[2]["address"].toString());
    EXPECT_NE(steps[1]["ci"], steps[0]["ci"]);
    EXPECT_EQ(steps[3]["mac"].toString(), u"02:00:5e:00:53:11"_s);
    EXPECT_EQ(steps[4]["mac"].toString(), u"02:00:5e:00:53:11"_s);
    EXPECT_EQ(steps[4]["ci"], steps[3]["ci"]);
}

// A group whose member list is larger than the first look-up buffer is still read whole. The
// group file is part of a copy of /etc mounted in the test's own namespace: a file mounted alone
// would be dropped as soon as anything on the machine (useradd) replaced /etc/group.
TEST_F(LinuxHostNetwork, LargeGroupsAreReadWhole)
{
    QStringList members;
    for (int i = 0; i < 3000; ++i)
        members << u"person-with-a-long-login-name-%1"_s.arg(i);
    const QString etc = home.filePath(u"etc"_s);
    ASSERT_TRUE(QDir().mkpath(etc));
    ASSERT_EQ(QProcess::execute(u"cp"_s, {u"-a"_s, u"/etc/."_s, etc}), 0);
    QFile group(etc + u"/group"_s);
    ASSERT_TRUE(group.open(QIODevice::WriteOnly | QIODevice::Truncate));
    group.write(u"root:x:0:\nadmin:x:4242:%1\n"_s.arg(members.join(u',')).toUtf8());
    group.close();
    const QList<QJsonObject> answers = inNamespace(u"mount --bind '%1' /etc; probe group admin; probe group nosuch"_s.arg(etc));
    ASSERT_EQ(answers.size(), 2);
    EXPECT_EQ(answers[0]["members"].toArray().size(), members.size());
    EXPECT_EQ(answers[0]["members"].toArray().last().toString(), members.last());
    EXPECT_TRUE(answers[1]["members"].isNull());
}

TEST_F(LinuxHostNetwork, OnlineMeansADefaultRouteOverAnUpInterface)
{
    const QList<QJsonObject> steps = inNamespace(
        u"ip link add v0 type veth peer name v1; ip link set v0 up; ip link set v1 up; "
        "ip addr add 192.0.2.1/24 dev v0; ip -6 addr add 2001:db8::1/64 dev v0 nodad; probe; "
        "ip route add default via 192.0.2.2; probe; ip route del default; "
        "ip -6 route add default via 2001:db8::2 dev v0; probe; ip -6 route del default; "
        // The peer goes down: v0 keeps its routes but carries nothing.
        "ip route add default via 192.0.2.2; ip -6 route add default via 2001:db8::2 dev v0; "
        "ip link set v1 down; probe; "
        // A bridge without ports reports "unknown", as links without carrier detection do: up.
        "ip link set v1 up; ip route del default; ip -6 route del default; ip link add br0 type bridge; "
        "ip link set br0 up; ip addr add 198.51.100.1/24 dev br0; ip route add default via 198.51.100.2 dev br0 onlink; probe"_s);
    ASSERT_EQ(steps.size(), 5);
    // No route, an IPv4 default, an IPv6 default only, the peer down, a bridge in state "unknown".
    QList<bool> online;
    for (const QJsonObject &step : steps)
        online << step["online"].toBool();
    EXPECT_EQ(online, QList<bool>({false, true, true, false, true}));
}

// Archives from a Mac carry UTF-8 names, flagged as such or not; the installer's own locale must
// not decide whether they extract.
TEST(LinuxHostArchive, Utf8NamesExtractUnderEveryLocale)
{
    QTemporaryDir dir;
    const QStringList names{u"Corvala.app/Contents/Resources/Grüße – 日本語.txt"_s, u"Corvala.app/Contents/Resources/שלום.txt"_s,
                            u"Corvala.app/Contents/Resources/한국어/説明.txt"_s};
    const QString link = u"Corvala.app/Contents/Resources/קישור"_s;
    // Python's zipfile sets the UTF-8 flag for such names; the "unflagged" archive leaves it out,
    // as the Mac's Archive Utility does.
    const QString maker = uR"(import sys, zipfile
class Unflagged(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        return self.filename.encode('utf-8'), self.flag_bits
for path, kind in (('flagged.zip', zipfile.ZipInfo), ('unflagged.zip', Unflagged)):
    with zipfile.ZipFile(sys.argv[1] + '/' + path, 'w') as archive:
        for name in sys.argv[2:-1]:
            archive.writestr(kind(name), name.encode('utf-8'))
        info = kind(sys.argv[-1])
        info.external_attr = 0o120777 << 16
        archive.writestr(info, 'Grüße – 日本語.txt')
)"_s;
    ASSERT_EQ(QProcess::execute(u"python3"_s, QStringList{u"-c"_s, maker, dir.path()} + names + QStringList{link}), 0);

    for (const QString &locale : {u"LANG=C"_s, u"LC_ALL=POSIX"_s, u"LANG=de_DE.UTF-8"_s, u"LANG=C.UTF-8"_s}) {
        for (const QString &archive : {u"flagged.zip"_s, u"unflagged.zip"_s}) {
            SCOPED_TRACE((locale + u' ' + archive).toStdString());
            const QString destination = dir.filePath(locale + u'-' + archive);
            const QList<QJsonObject> result = run(kProbe, {u"extract"_s, dir.filePath(archive), destination},
                                                  {u"HOME="_s + dir.path(), locale});
            ASSERT_EQ(result.size(), 1);
            EXPECT_TRUE(result.first()["extracted"].toBool()) << result.first()["error"].toString().toStdString();
            for (const QString &name : names) {
                QFile file(destination + u'/' + name);
                EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
                EXPECT_EQ(QString::fromUtf8(file.readAll()), name);
            }
            EXPECT_EQ(QFileInfo(destination + u'/' + link).symLinkTarget(), destination + u'/' + names.first());
        }
    }
}
