// The configuration and the download over HTTPS from nginx with certificates of a test authority:
// what the installer trusts (the system's authorities and those SSL_CERT_FILE names), certificates
// it must refuse, a redirect to plain HTTP, HTTPS through a proxy's CONNECT, and servers and
// proxies that stall or answer nonsense. Whatever fails verification is sent no request.
#include "EngineTestSupport.h"
#include "NginxServer.h"
#include "ScopedEnv.h"
#include "TestCertificates.h"
#include "TestHttpServer.h"
#include "TinyProxy.h"

#include "config/QSConfigProvider.h"
#include "telemetry/QSHttp.h"
#include "telemetry/QSTrustedAuthorities.h"

#include <QJsonArray>
#include <QSslCertificate>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

using namespace enginetest;
using namespace std::chrono_literals;
using Server = TestCertificates::Server;

namespace {

const QString kCompletedFn = QStringLiteral("-[QSMainController URLSession:task:didCompleteWithError:]");
const QString kConfigFn = QStringLiteral("+[QSConfigProvider loadConfigWithCompletion:]");

NginxServer::Options::Tls tlsWith(Server server, bool onlyTls10 = false)
{
    return {TestCertificates::certificateFile(server), TestCertificates::keyFile(server), onlyTls10};
}

QByteArray configDocument(const QString &archiveUrl)
{
    const QJsonObject entry{{"appName", "Corvala"}, {"latestBuildMacUrl", archiveUrl}, {"latestBuildMac", "1234"},
                            {"downloadRetryLimit", 2}};
    return QJsonDocument(QJsonObject{{"config", QJsonArray{entry}}}).toJson(QJsonDocument::Compact);
}

// The flow with the real configuration loader, asking url.
void startWithConfigFrom(FlowFixture &f, const QUrl &url)
{
    f.env.setSetting(QStringLiteral("PRODUCTION_URL"), url.toString());
    f.flow->setConfigLoader([](QSConfigProvider::Completion completion) {
        QSConfigProvider::loadConfigWithCompletion(std::move(completion));
    });
    f.flow->startInstallation();
}

// The record that ended the request: the configuration's or the download's transport failure.
QString failureRecord(const FlowFixture &f, bool config)
{
    const QStringList lines = f.env.logLines().filter(config ? QStringLiteral("Request OK: errorCode:")
                                                             : QStringLiteral("Download failure reason - "));
    return lines.isEmpty() ? QString() : lines.last();
}

// A TCP server that accepts and then does one thing to every connection.
class RawServer {
public:
    explicit RawServer(QByteArray reply) : reply_(std::move(reply))
    {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = server_.nextPendingConnection()) {
                ++connections_;
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    socket->readAll();
                    if (!reply_.isEmpty())  // empty: reads and never answers
                        socket->write(reply_);
                });
            }
        });
    }
    quint16 port() const { return server_.serverPort(); }
    int connections() const { return connections_; }

private:
    QTcpServer server_;
    QByteArray reply_;
    int connections_ = 0;
};

}  // namespace

// SSL_CERT_FILE names a file, SSL_CERT_DIR folders separated by ':'; what names nothing readable
// is recorded and changes nothing.
TEST(Tls, TheEnvironmentNamesAuthoritiesInAFileOrInFolders)
{
    const QString authority = TestCertificates::authorityFile();
    const QString folder = QFileInfo(authority).absolutePath();
    const struct {
        const char *what;
        QByteArray file, folders;
        QStringList notes;  // "ERROR ..." or "DEBUG ..."
    } cases[] = {
        {"a file", authority.toUtf8(), {}, {"DEBUG Trusting 1 certificate authorities of SSL_CERT_FILE " + authority + " besides the system's"}},
        {"a missing file", "/nonexistent/authority.pem", {}, {"ERROR SSL_CERT_FILE names no readable certificate: /nonexistent/authority.pem"}},
        {"a missing folder and one with the authority", "", "/nonexistent:" + folder.toUtf8(),
         {"ERROR SSL_CERT_DIR names no readable certificate: /nonexistent",
          // every certificate in the folder: the authority and the four servers'
          "DEBUG Trusting 5 certificate authorities of SSL_CERT_DIR " + folder + " besides the system's"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
        const ScopedEnv file("SSL_CERT_FILE", c.file), folders("SSL_CERT_DIR", c.folders);
        QStringList notes;
        for (const QSTrustedAuthorities::Note &note : QSTrustedAuthorities::trustEnvironmentAuthorities())
            notes << (note.isError ? "ERROR " : "DEBUG ") + note.message;
        EXPECT_EQ(notes, c.notes);
        const bool added = c.notes.last().startsWith("DEBUG");
        EXPECT_EQ(QSslConfiguration::defaultConfiguration().caCertificates().contains(QSslCertificate::fromPath(authority).value(0)), added);
        QSslConfiguration::setDefaultConfiguration(before);
    }
}

// The installer reads the authorities on a thread of their own at start-up; a request made
// meanwhile waits for them instead of failing verification, and the records follow.
TEST(Tls, ARequestMadeWhileTheAuthoritiesAreReadWaitsForThem)
{
    FlowFixture f;
    const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
    const ScopedEnv file("SSL_CERT_FILE", TestCertificates::authorityFile().toUtf8()), folders("SSL_CERT_DIR", {});
    NginxServer nginx;
    nginx.putFile(QStringLiteral("Corvala.zip"), makeZip(productEntries()));
    ASSERT_TRUE(nginx.start({.tls = tlsWith(Server::Good)}));
    nginx.putFile(QStringLiteral("config"), configDocument(nginx.url(QStringLiteral("/Corvala.zip")).toString()));
    QSTrustedAuthorities::addFromEnvironment(QS_LOG_CONTEXT("-[AppDelegate applicationDidFinishLaunching:]"));
    startWithConfigFrom(f, nginx.url(QStringLiteral("/config")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.screens.calls.contains("updateLauchButtons") || !f.screens.genericErrors.isEmpty(); }, 60000));
    EXPECT_EQ(f.named("Install").value("RSLT"), "PASS") << f.env.logLines().join('\n').toStdString();
    EXPECT_TRUE(f.hasRecord("DEBUG", "Trusting 1 certificate authorities of SSL_CERT_FILE " + TestCertificates::authorityFile() +
                                         " besides the system's", "-[AppDelegate applicationDidFinishLaunching:]"));
    QSslConfiguration::setDefaultConfiguration(before);
}

// Each certificate on the configuration and on the download: the good one goes through when its
// authority is trusted, every other ends where a transport failure ends, with a record naming
// the TLS problem, and nginx never sees a request.
TEST(Tls, CertificatesAreVerifiedOnTheConfigurationAndTheDownload)
{
    ASSERT_FALSE(TestCertificates::authorityFile().isEmpty()) << "openssl could not make the certificates";
    const struct {
        const char *what;
        Server server;
        bool onlyTls10, trusted;
        const char *problem;  // in the failure's record; null: the installation passes
    } cases[] = {
        {"good certificate, its authority not named", Server::Good, false, false,
         "The issuer certificate of a locally looked up certificate could not be found"},
        {"good certificate, its authority named by SSL_CERT_FILE", Server::Good, false, true, nullptr},
        {"unknown authority", Server::UnknownAuthority, false, true,
         "The issuer certificate of a locally looked up certificate could not be found"},
        {"expired", Server::Expired, false, true, "The certificate has expired"},
        {"for another host", Server::OtherHost, false, true,
         "The host name did not match any of the valid hosts for this certificate"},
        {"TLS 1.0 only", Server::Good, true, true, "alert protocol version"},
    };
    const QByteArray archive = makeZip(productEntries());
    std::optional<TestCertificates::TrustedAuthority> trust;  // from the first row that wants it on
    for (const auto &c : cases) {
        if (c.trusted && !trust) {
            trust.emplace();
            // Added to the system's authorities, never in their place.
            const QList<QSslCertificate> trusted = QSslConfiguration::defaultConfiguration().caCertificates();
            for (const QSslCertificate &system : QSslConfiguration::systemCaCertificates())
                ASSERT_TRUE(trusted.contains(system)) << system.subjectDisplayName().toStdString();
        }
        for (const bool config : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (config ? ", on the configuration" : ", on the download"));
            FlowFixture f;
            NginxServer nginx;
            nginx.putFile(QStringLiteral("Corvala.zip"), archive);
            ASSERT_TRUE(nginx.start({.tls = tlsWith(c.server, c.onlyTls10)}));
            nginx.putFile(QStringLiteral("config"), configDocument(nginx.url(QStringLiteral("/Corvala.zip")).toString()));
            if (config)
                startWithConfigFrom(f, nginx.url(QStringLiteral("/config")));
            else
                f.startWith(nginx.url(QStringLiteral("/Corvala.zip")).toString(), 2);
            ASSERT_TRUE(f.waitUntilSettled());

            if (!c.problem) {
                EXPECT_EQ(f.named("Install").value("RSLT"), "PASS") << f.env.logLines().join('\n').toStdString();
                EXPECT_EQ(nginx.accessLog().size(), config ? 2 : 1);
                continue;
            }
            EXPECT_EQ(f.screens.genericErrors, QStringList({config ? "Config error" : "Download Error"}));
            const QString record = failureRecord(f, config);
            EXPECT_TRUE(record.contains(QStringLiteral("SSL handshake failed")) && record.contains(QLatin1String(c.problem)))
                << record.toStdString();
            if (!config) {
                ASSERT_EQ(f.eventNames().count("Download"), 2) << "the usual attempts";
                EXPECT_TRUE(f.named("Download", 1).value("RSN").toString().contains(QLatin1String(c.problem)));
            }
            EXPECT_TRUE(nginx.accessLog().isEmpty()) << nginx.accessLog().join('\n').toStdString();
            EXPECT_TRUE(isEmptyFolder(f.env.host.temporary));
            EXPECT_FALSE(QFileInfo::exists(f.bundlePath()));
        }
    }
}

// A redirect from https to http would send the request in the clear: refused, and the plain
// server hears nothing.
TEST(Tls, ARedirectToPlainHttpIsRefused)
{
    const TestCertificates::TrustedAuthority trust;
    for (const bool config : {true, false}) {
        SCOPED_TRACE(config ? "the configuration" : "the download");
        FlowFixture f;
        TestHttpServer plain;
        plain.answerOtherPaths({200, {}, makeZip(productEntries())});
        NginxServer nginx;
        ASSERT_TRUE(nginx.start({.tls = tlsWith(Server::Good),
                                 .serverLines = QStringLiteral("location /moved { return 302 %1; }")
                                                    .arg(plain.url(QStringLiteral("/Corvala.zip")).toString())}));
        if (config)
            startWithConfigFrom(f, nginx.url(QStringLiteral("/moved")));
        else
            f.startWith(nginx.url(QStringLiteral("/moved")).toString(), 2);
        ASSERT_TRUE(f.waitUntilSettled());
        EXPECT_EQ(f.screens.genericErrors, QStringList({config ? "Config error" : "Download Error"}));
        EXPECT_TRUE(failureRecord(f, config).contains(QStringLiteral("Insecure redirect"))) << failureRecord(f, config).toStdString();
        EXPECT_TRUE(plain.requests().isEmpty());
        EXPECT_EQ(nginx.accessLog().size(), config ? 1 : 2);  // the 302s, nothing more
    }
}

// A server that accepts and never answers the handshake ends like any silent server: after the
// idle time-out, on the configuration's or the download's failure, with nothing left behind.
TEST(Tls, AServerThatStallsTheHandshakeEndsWithinTheIdleTimeOut)
{
    const TestCertificates::TrustedAuthority trust;
    for (const bool config : {true, false}) {
        SCOPED_TRACE(config ? "the configuration" : "the download");
        FlowFixture f;
        RawServer silent({});
        const QUrl url(QStringLiteral("https://127.0.0.1:%1/Corvala.zip").arg(silent.port()));
        QSHttp::overrideTimeoutsForTesting(QSHttp::Timeouts{300ms, 30s});
        f.flow->setDownloadTimeouts({300ms});
        if (config)
            startWithConfigFrom(f, url);
        else
            f.startWith(url.toString(), 2);
        ASSERT_TRUE(f.waitUntilSettled());
        QSHttp::overrideTimeoutsForTesting(std::nullopt);
        EXPECT_EQ(f.screens.genericErrors, QStringList({config ? "Config error" : "Download Error"}));
        const QString record = failureRecord(f, config);
        EXPECT_TRUE(record.contains(config ? QStringLiteral("nothing was sent or received for 300 ms")
                                           : QStringLiteral("No data arrived for 0.3 seconds")))
            << record.toStdString();
        EXPECT_EQ(silent.connections(), config ? 1 : 2);
        EXPECT_TRUE(isEmptyFolder(f.env.host.temporary));
    }
}

// https_proxy: the download goes through tinyproxy's CONNECT. A proxy that wants credentials, or
// that answers the CONNECT with nonsense, ends on "Download Error" with a record naming it.
TEST(Tls, HttpsProxyTunnelsTheDownloadAndItsRefusalsAreNamed)
{
    const TestCertificates::TrustedAuthority trust;
    TinyProxy open, closed;
    ASSERT_TRUE(open.start());
    ASSERT_TRUE(closed.start(QStringLiteral("corp"), QStringLiteral("secret")));
    RawServer garbage("HTTP/1.1 2OO fine\r\nnonsense\r\n\r\n\x01\x02\x03");
    const struct {
        const char *what;
        QString proxy;
        bool passes;
    } cases[] = {
        {"tinyproxy", open.address(), true},
        {"tinyproxy asking for credentials (407)", closed.address(), false},
        {"a proxy answering the CONNECT with nonsense", QStringLiteral("http://127.0.0.1:%1").arg(garbage.port()), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const ScopedEnv httpsProxy("https_proxy", c.proxy.toUtf8());
        const ScopedEnv noProxy("no_proxy", "");
        FlowFixture f;
        NginxServer nginx;
        nginx.putFile(QStringLiteral("Corvala.zip"), makeZip(productEntries()));
        ASSERT_TRUE(nginx.start({.tls = tlsWith(Server::Good)}));
        f.startWith(nginx.url(QStringLiteral("/Corvala.zip")).toString(), 2);
        ASSERT_TRUE(f.waitUntilSettled());
        if (c.passes) {
            EXPECT_EQ(f.named("Install").value("RSLT"), "PASS");
            EXPECT_TRUE(open.log().contains(QStringLiteral("CONNECT ") + nginx.url({}).authority())) << open.log().toStdString();
            EXPECT_EQ(nginx.accessLog().size(), 1);
            continue;
        }
        EXPECT_EQ(f.screens.genericErrors, QStringList({"Download Error"}));
        EXPECT_EQ(f.env.logLines().filter(QStringLiteral("Proxy problem: the proxy %1 refused the download").arg(c.proxy.mid(7))).size(), 2)
            << f.env.logLines().join('\n').toStdString();
        EXPECT_TRUE(nginx.accessLog().isEmpty());
        EXPECT_TRUE(isEmptyFolder(f.env.host.temporary));
    }
}
