// The flow against real servers in the way a network puts them: nginx cut off mid-transfer and
// started again, HTTPS with good and bad certificates, and forward proxies (tinyproxy).
#include "EngineTestSupport.h"
#include "HelperBundle.h"
#include "MinisignTool.h"
#include "NginxServer.h"
#include "ScopedEnv.h"
#include "TestCertificates.h"
#include "TestHttpServer.h"
#include "TinyProxy.h"

#include "config/QSConfigProvider.h"
#include "engine/QSInstallFiles.h"
#include "engine/QSPrivilegedPlacement.h"
#include "telemetry/QSAnalyticSender.h"
#include "telemetry/QSHttp.h"
#include "telemetry/QSTrustedAuthorities.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <optional>

#include <unistd.h>

using namespace enginetest;
using namespace std::chrono_literals;
using Server = TestCertificates::Server;

namespace {

QByteArray productWithNoise(qsizetype size, quint32 seed)
{
    return makeZip(productEntries() << ZipEntry{QStringLiteral("Corvala.app/Contents/Resources/blob"), noise(size, seed)});
}

NginxServer::Options::Tls tlsWith(Server server, bool onlyTls10 = false)
{
    return {TestCertificates::certificateFile(server), TestCertificates::keyFile(server), onlyTls10};
}

// The flow with the real configuration loader, asking url; the configuration names archiveUrl.
void startWithConfigFrom(FlowFixture &f, const QUrl &url)
{
    f.env.setSetting(QStringLiteral("PRODUCTION_URL"), url.toString());
    f.flow->setConfigLoader([](QSConfigProvider::Completion completion) { QSConfigProvider::loadConfigWithCompletion(std::move(completion)); });
    f.flow->startInstallation();
}
QByteArray configDocument(const QString &archiveUrl)
{
    const QJsonObject entry{{"appName", "Corvala"}, {"latestBuildMacUrl", archiveUrl}, {"latestBuildMac", "1234"}, {"downloadRetryLimit", 2}};
    return QJsonDocument(QJsonObject{{"config", QJsonArray{entry}}}).toJson(QJsonDocument::Compact);
}

// The record that ended the request: the configuration's or the download's transport failure.
QString failureRecord(const FlowFixture &f, bool config)
{
    const QStringList lines = f.env.logLines().filter(config ? QStringLiteral("Request OK: errorCode:") : QStringLiteral("Download failure reason - "));
    return lines.isEmpty() ? QString() : lines.last();
}

// A TCP server that answers every request with the same bytes; with none, it never answers.
class RawServer {
public:
    explicit RawServer(QByteArray reply) : reply_(std::move(reply))
    {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = server_.nextPendingConnection()) {
                ++connections;
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    socket->readAll();
                    if (!reply_.isEmpty())
                        socket->write(reply_);
                });
            }
        });
    }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(server_.serverPort()); }
    int connections = 0;

private:
    QTcpServer server_;
    QByteArray reply_;
};

}  // namespace

// A body cut halfway is continued with a range when the same file is still served, and comes
// whole when it changed or ranges are not served; the signature check sees every byte once, the
// placement helper's too (it takes the body as it comes). Over HTTPS, as the maker serves it (the
// resume rules over plain HTTP: Downloader.AppendsOnly...).
TEST(Network, ACutBodyContinuesWithRangeOrStartsOverWhenItMust)
{
    const QByteArray original = productWithNoise(3 << 20, 1), newer = productWithNoise((3 << 20) + 4096, 2);
    const struct {
        const char *what;
        bool replaceFile, serveRanges, continues, throughHelper = false;
    } cases[] = {
        {"same file, ranges served: continued", false, true, true},
        {"the file changed meanwhile: If-Range brings it whole", true, true, false},
        {"the server ignores ranges: whole again", false, false, false},
        {"through the helper, continued", false, true, true, true},
        {"through the helper, whole again", false, false, false, true},
    };
    MinisignTool signer;
    ASSERT_TRUE(signer.isValid()) << signer.failure().toStdString();
    const TestCertificates::TrustedAuthority trust;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.throughHelper && ::geteuid() != 0)
            continue;  // the helper runs as root
        FlowFixture f;
        std::optional<HelperBundle> helper;
        if (c.throughHelper) {
            helper.emplace(f.env.host.applications);
            f.flow->setPlacementFactory([&helper](QObject *owner) { return helper->placement(owner); });
        }
        const MinisignTool &signs = helper ? helper->signer : signer;
        f.env.setSetting("kQSArchivePublicKey", QString(signs.publicKeyLine()));
        // Pauses of 1 s, then 2 s: nginx is back before long, and an attempt refused meanwhile
        // keeps the bytes on disk for the next one.
        f.flow->setRetryBackoff(QSRetryBackoff({1000ms, 2000ms}, [] { return 1.0; }));
        NginxServer nginx;
        nginx.putFile(QStringLiteral("Corvala.zip"), original);
        ASSERT_TRUE(nginx.start({.limitRate = QStringLiteral("1m"), .serveRanges = true, .tls = tlsWith(Server::Good)}));
        const QByteArray &served = c.replaceFile ? newer : original;
        f.flow->startInstallation();  // through the helper, the authorisation is asked for once the configuration is in
        ASSERT_TRUE(QTest::qWaitFor([&] { return !f.pending.isEmpty(); }, 10000));
        f.answerConfiguration(nginx.url(QStringLiteral("/Corvala.zip")).toString(), 5, signs.sign(served));

        const QString partial = QSInstallFiles::partialPathFor(QSInstallFiles::archivePath());
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(partial).size() >= original.size() / 2; }, 30000));
        nginx.kill();
        const QList<float> progressBeforeCut = f.screens.progress;
        if (c.replaceFile)  // a new modification time and tag too
            nginx.putFile(QStringLiteral("Corvala.zip"), newer);
        ASSERT_TRUE(nginx.start({.limitRate = {}, .serveRanges = c.serveRanges, .tls = tlsWith(Server::Good)}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !f.named("Install").isEmpty(); }, 60000));

        ASSERT_EQ(f.named("Install").value("RSLT"), "PASS") << f.screens.genericErrors.join(',').toStdString();
        EXPECT_EQ(readFile(f.bundlePath() + "/Contents/Resources/blob").size(), c.replaceFile ? (3 << 20) + 4096 : 3 << 20);
        // The same records on both paths (through the helper, the helper's check and its folders).
        const QStringList lines = f.env.logLines();
        EXPECT_EQ(lines.filter("Archive signature verified (trusted comment: build 1234)").size(), 1);
        const QString extracted = lines.filter("Unzip from: ").value(0).section(" to: ", 1).section('"', 0, 0);
        EXPECT_TRUE(lines.filter("Moved app [version: ").value(0).contains("from path: " + extracted + " to ")) << extracted.toStdString();
        EXPECT_EQ(extracted.startsWith(f.env.host.applications + "/.Corvala.app.staging-"), c.throughHelper) << extracted.toStdString();
        const QString source = lines.filter("Updated version info at").value(0).section("\"file\": \"", 1).section('"', 0, 0);
        EXPECT_TRUE(source.endsWith(c.throughHelper ? "/src/engine/QSInstallFlowPrivileged.cpp" : "/src/engine/QSInstallFlowInstall.cpp")
                    && QFileInfo(source).isAbsolute() && QFileInfo::exists(source)) << source.toStdString();
        // The last answer: "<status> "<Range>" <body bytes>"; earlier ones may be refusals while nginx came back.
        const QStringList log = nginx.accessLog();
        ASSERT_FALSE(log.isEmpty());
        const QRegularExpressionMatch last = QRegularExpression(QStringLiteral("^(\\d+) \"bytes=(\\d+)-\" (\\d+)$")).match(log.last());
        ASSERT_TRUE(last.hasMatch()) << log.last().toStdString();
        const qint64 from = last.captured(2).toLongLong(), sent = last.captured(3).toLongLong();
        EXPECT_GE(from, original.size() / 2);
        EXPECT_EQ(last.captured(1), c.continues ? "206" : "200");
        EXPECT_EQ(sent, c.continues ? original.size() - from : served.size());
        EXPECT_EQ(f.env.logLines().filter("The server sent the whole archive again").isEmpty(), c.continues);
        if (c.continues) {  // progress went on from where it was
            const QList<float> after = f.screens.progress.mid(progressBeforeCut.size());
            EXPECT_TRUE(std::all_of(after.begin(), after.end(), [&](float p) { return p >= progressBeforeCut.last(); }));
        }
        EXPECT_FALSE(QFileInfo::exists(partial));
    }
}

// A helper that goes away while the archive downloads (it refused what came, or was ended) stops
// the download at once, on the failure screen, and nothing of it stays.
TEST(Network, AHelperGoneDuringTheDownloadStopsItAtOnce)
{
    FlowFixture f;
    f.flow->setPlacementFactory([](QObject *owner) {
        auto *placement = new QSPrivilegedPlacement(owner);
        placement->setLauncher(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo ready; sleep 1; echo 'error no room'; exit 6")});
        return placement;
    });
    const TestCertificates::TrustedAuthority trust;
    NginxServer nginx;
    nginx.putFile(QStringLiteral("Corvala.zip"), productWithNoise(8 << 20, 1));
    ASSERT_TRUE(nginx.start({.limitRate = QStringLiteral("1m"), .serveRanges = true, .tls = tlsWith(Server::Good)}));
    f.flow->startInstallation();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.pending.isEmpty(); }, 10000));
    f.answerConfiguration(nginx.url(QStringLiteral("/Corvala.zip")).toString(), 3);
    ASSERT_TRUE(f.waitUntilSettled());
    EXPECT_EQ(f.screens.genericErrors, QStringList{"Install error"});
    EXPECT_EQ(f.eventNames(), (QStringList{"Config", "Install"}));
    EXPECT_FALSE(f.env.logLines().filter("The placement helper is unavailable (failed): no room").isEmpty());
    EXPECT_FALSE(f.env.logLines().filter("The placement helper ended before the archive was ready").isEmpty());
    // Well before the 8 MiB at 1 MiB/s could have come, and with no retry.
    QStringList log;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !(log = nginx.accessLog()).isEmpty(); }, 10000));
    ASSERT_EQ(log.size(), 1);
    EXPECT_LT(log.first().section(' ', -1).toLongLong(), 6 << 20) << log.first().toStdString();
    EXPECT_TRUE(isEmptyFolder(f.env.host.temporary));
}

// The authorisation is asked for once the configuration is in: a refusal reaches the maker.
TEST(Network, ARefusedAuthorisationComesAfterTheConfigurationAndIsReported)
{
    FlowFixture f;
    f.flow->setPlacementFactory([](QObject *owner) {
        auto *placement = new QSPrivilegedPlacement(owner);
        placement->setLauncher(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exit 126")});
        return placement;
    });
    f.flow->startInstallation();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.pending.isEmpty(); }, 10000));
    f.answerConfiguration(QStringLiteral("http://127.0.0.1:9/Corvala.zip"), 1);
    ASSERT_TRUE(f.waitUntilSettled());
    EXPECT_EQ(f.eventNames(), (QStringList{"Config", "Install"}));
    EXPECT_EQ(f.named("Install").value("RSN"), "Install error: authorisation refused");
}

// Every server on the configuration and on the download: a good certificate goes through when its
// authority is trusted; a bad one, a redirect to plain HTTP and a stalled handshake end where a
// transport failure ends, with a record naming the problem, and no request reaches a server.
TEST(Network, OnlyATrustedServerIsAskedAndEachRefusalIsNamed)
{
    ASSERT_FALSE(TestCertificates::authorityFile().isEmpty()) << "openssl could not make the certificates";
    const QByteArray archive = makeZip(productEntries());
    enum Kind { Certificate, RedirectToHttp, StalledHandshake };
    const struct {
        const char *what;
        Kind kind;
        Server server;
        bool onlyTls10, trusted;
        const char *problem;  // in the failure's record; null: the installation passes
    } cases[] = {
        {"good certificate, its authority not named", Certificate, Server::Good, false, false, "The issuer certificate of a locally looked up"},
        {"good certificate, its authority named by SSL_CERT_FILE", Certificate, Server::Good, false, true, nullptr},
        {"unknown authority", Certificate, Server::UnknownAuthority, false, true, "The issuer certificate of a locally looked up"},
        {"expired", Certificate, Server::Expired, false, true, "The certificate has expired"},
        {"for another host", Certificate, Server::OtherHost, false, true, "The host name did not match any of the valid hosts"},
        {"TLS 1.0 only", Certificate, Server::Good, true, true, "alert protocol version"},
        {"a redirect to plain HTTP", RedirectToHttp, Server::Good, false, true, "Insecure redirect"},
        {"a handshake never answered", StalledHandshake, Server::Good, false, true,
         "nothing was sent or received for 300 ms|No data arrived for 0.3 seconds"},
    };
    {  // With root's rights, the variables are ignored, removed and named in the run log.
        const ScopedEnv file("SSL_CERT_FILE", TestCertificates::authorityFile().toUtf8());
        const QList<QSslCertificate> before = QSslConfiguration::defaultConfiguration().caCertificates();
        const QList<QSTrustedAuthorities::Note> notes = QSTrustedAuthorities::trustEnvironmentAuthorities(true);
        EXPECT_EQ(notes.value(0).message, "Ignoring SSL_CERT_FILE: with administrator rights only the system's certificate authorities are trusted");
        EXPECT_FALSE(qEnvironmentVariableIsSet("SSL_CERT_FILE"));
        EXPECT_EQ(QSslConfiguration::defaultConfiguration().caCertificates(), before);
    }
    std::optional<TestCertificates::TrustedAuthority> trust;  // from the first row that wants it on
    for (const auto &c : cases) {
        if (c.trusted && !trust) {
            trust.emplace();
            const QList<QSslCertificate> trusted = QSslConfiguration::defaultConfiguration().caCertificates();
            for (const QSslCertificate &system : QSslConfiguration::systemCaCertificates())
                ASSERT_TRUE(trusted.contains(system)) << "added to the system's authorities, never in their place";
        }
        for (const bool config : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (config ? ", on the configuration" : ", on the download"));
            FlowFixture f;
            TestHttpServer plain;
            plain.answerOtherPaths({200, {}, archive});
            RawServer silent({});
            NginxServer nginx;
            nginx.putFile(QStringLiteral("Corvala.zip"), archive);
            const QString moved = QStringLiteral("location /moved { return 302 %1; }").arg(plain.url(QStringLiteral("/Corvala.zip")).toString());
            ASSERT_TRUE(nginx.start({.tls = tlsWith(c.server, c.onlyTls10), .serverLines = c.kind == RedirectToHttp ? moved : QString()}));
            nginx.putFile(QStringLiteral("config"), configDocument(nginx.url(QStringLiteral("/Corvala.zip")).toString()));
            QUrl url = nginx.url(c.kind == RedirectToHttp ? QStringLiteral("/moved") : config ? QStringLiteral("/config") : QStringLiteral("/Corvala.zip"));
            if (c.kind == StalledHandshake) {
                url = QUrl(QStringLiteral("https://%1/Corvala.zip").arg(silent.address()));
                QSHttp::overrideTimeoutsForTesting(QSHttp::Timeouts{300ms, 30s});
                f.flow->setDownloadTimeouts({300ms});
            }
            config ? startWithConfigFrom(f, url) : f.startWith(url.toString(), 2);
            ASSERT_TRUE(f.waitUntilSettled());
            QSHttp::overrideTimeoutsForTesting(std::nullopt);
            if (!c.problem) {
                EXPECT_EQ(f.named("Install").value("RSLT"), "PASS") << f.env.logLines().join('\n').toStdString();
                EXPECT_EQ(nginx.accessLog().size(), config ? 2 : 1);
                continue;
            }
            EXPECT_EQ(f.screens.genericErrors, QStringList({config ? "Config error" : "Download Error"}));
            const QString record = failureRecord(f, config);
            EXPECT_TRUE(record.contains(QRegularExpression(QLatin1String(c.problem)))) << record.toStdString();
            EXPECT_EQ(f.eventNames().count("Download"), config ? 0 : 2) << "the usual attempts";
            EXPECT_EQ(nginx.accessLog().size(), c.kind == RedirectToHttp ? (config ? 1 : 2) : 0) << "the 302s at most";
            EXPECT_TRUE(plain.requests().isEmpty());
            EXPECT_EQ(silent.connections, c.kind == StalledHandshake ? (config ? 1 : 2) : 0);
            EXPECT_TRUE(isEmptyFolder(f.env.host.temporary));
            EXPECT_FALSE(QFileInfo::exists(f.bundlePath()));
        }
    }
}

// Through http_proxy or https_proxy, as no_proxy allows: the download (and the analytics batch)
// go through a working proxy; a proxy that wants credentials or answers nonsense
// ends on "Download Error" with a record naming it. Each row runs in a process of its own: the
// system's proxy library reads the environment once.
struct ProxyRow {
    const char *name;
    bool https;
    enum { Open, WantsCredentials, Nonsense } proxy;
    const char *noProxy;
};
void PrintTo(const ProxyRow &row, std::ostream *os) { *os << row.name; }
class Proxies : public ::testing::TestWithParam<ProxyRow> {};

TEST_P(Proxies, TheDownloadGoesThroughTheProxyOrEndsWithARecordNamingIt)
{
    const ProxyRow &row = GetParam();
    std::optional<TestCertificates::TrustedAuthority> trust;
    if (row.https)
        trust.emplace();
    TinyProxy tinyproxy;
    RawServer nonsense("HTTP/1.1 2OO fine\r\nnonsense\r\n\r\n\x01\x02\x03");
    QString proxy = QStringLiteral("http://") + nonsense.address();
    if (row.proxy == ProxyRow::Open || row.proxy == ProxyRow::WantsCredentials) {
        ASSERT_TRUE(row.proxy == ProxyRow::Open ? tinyproxy.start() : tinyproxy.start(QStringLiteral("corp"), QStringLiteral("secret")));
        proxy = tinyproxy.address();
    }
    const ScopedEnv variable(row.https ? "https_proxy" : "http_proxy", proxy.toUtf8()), noProxy("no_proxy", row.noProxy);
    FlowFixture f;
    TestHttpServer server;
    server.answer("/Corvala.zip", {200, {}, makeZip(productEntries())});
    server.answerOtherPaths({200, {}, "ok"});
    NginxServer nginx;
    nginx.putFile(QStringLiteral("Corvala.zip"), makeZip(productEntries()));
    ASSERT_TRUE(nginx.start({.tls = row.https ? std::optional(tlsWith(Server::Good)) : std::nullopt}));
    const QUrl url = row.https ? nginx.url(QStringLiteral("/Corvala.zip")) : server.url("/Corvala.zip");
    f.startWith(url.toString(), 2);
    ASSERT_TRUE(f.waitUntilSettled());

    if (row.proxy != ProxyRow::Open) {
        EXPECT_EQ(f.screens.genericErrors, QStringList({"Download Error"}));
        EXPECT_EQ(f.env.logLines().filter(QStringLiteral("Proxy problem: the proxy %1 refused the download").arg(proxy.mid(7))).size(), 2)
            << f.env.logLines().join('\n').toStdString();
        EXPECT_TRUE(server.requests().isEmpty() && nginx.accessLog().isEmpty());
        EXPECT_FALSE(QFileInfo::exists(f.bundlePath()));
        return;
    }
    EXPECT_EQ(f.named("Install").value("RSLT"), "PASS");
    const bool proxied = QByteArray(row.noProxy).isEmpty();
    if (row.https) {
        EXPECT_EQ(tinyproxy.log().contains(QStringLiteral("CONNECT ") + url.authority()), proxied) << tinyproxy.log().toStdString();
        return;
    }
    QSAnalyticSender::sendAll({QStringLiteral("line")}, server.url("/events"));
    ASSERT_EQ(server.requests().size(), 2);
    for (const TestHttpServer::Request &request : server.requests()) {
        // tinyproxy names itself in Via on what it passes on, and logs the request.
        EXPECT_EQ(request.header("Via").contains("tinyproxy"), proxied) << request.path.constData();
        EXPECT_EQ(tinyproxy.log().contains(server.url(QString::fromUtf8(request.path)).toString() + " HTTP/1.1"), proxied);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Network, Proxies,
    ::testing::Values(ProxyRow{"http_through_tinyproxy", false, ProxyRow::Open, ""},
                      ProxyRow{"no_proxy_naming_the_host", false, ProxyRow::Open, "localhost,127.0.0.1"},
                      ProxyRow{"http_proxy_wanting_credentials", false, ProxyRow::WantsCredentials, ""},
                      ProxyRow{"https_proxy_wanting_credentials", true, ProxyRow::WantsCredentials, ""},
                      ProxyRow{"https_proxy_answering_nonsense", true, ProxyRow::Nonsense, ""}),
    [](const ::testing::TestParamInfo<ProxyRow> &row) { return std::string(row.param.name); });
