// Downloads under real network conditions: a body cut halfway and continued (nginx serving ranges
// and validators, killed mid-transfer and started again), a slow but steady link, too little room
// where the archive is written, and a forward proxy (tinyproxy) in the way.
#include "EngineTestSupport.h"
#include "MinisignTool.h"
#include "NginxServer.h"
#include "ScopedEnv.h"
#include "TestCertificates.h"
#include "TestHttpServer.h"
#include "TinyProxy.h"

#include "engine/QSInstallFiles.h"
#include "telemetry/QSAnalyticSender.h"

#include <QFileInfo>
#include <QTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>

#include <gtest/gtest.h>

using namespace enginetest;
using namespace std::chrono_literals;

namespace {

QByteArray noise(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

// A product archive that does not compress: its size on the wire is about blobSize.
QByteArray productWithBlob(qsizetype blobSize, quint32 seed)
{
    QList<ZipEntry> entries = productEntries();
    entries.append({QStringLiteral("Corvala.app/Contents/Resources/blob"), noise(blobSize, seed)});
    return makeZip(entries);
}

bool waitForOutcome(const FlowFixture &f, int ms)
{
    return QTest::qWaitFor([&] {
        return !f.screens.genericErrors.isEmpty() || !f.screens.alerts.isEmpty() ||
            f.named("Install").value("RSLT") == QStringLiteral("PASS");
    }, ms);
}

}  // namespace

TEST(Transfers, ACutBodyContinuesWithRangeOrStartsOverWhenItMust)
{
    const QByteArray original = productWithBlob(3 << 20, 1);
    const QByteArray newer = productWithBlob((3 << 20) + 4096, 2);
    const struct {
        const char *what;
        bool replaceFile, serveRanges, continues, https = false;
    } cases[] = {
        {"same file, ranges served: continued", false, true, true},
        {"the file changed meanwhile: If-Range brings it whole", true, true, false},
        {"the server ignores ranges: whole again", false, false, false},
        {"over HTTPS, same file: continued", false, true, true, true},
    };
    // The archives are signed: the check must see every byte of the body once, in order, also when
    // the body is continued from the bytes on disk or starts over.
    MinisignTool signer;
    ASSERT_TRUE(signer.isValid()) << signer.failure().toStdString();
    const QByteArray originalSignature = signer.sign(original), newerSignature = signer.sign(newer);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        std::optional<TestCertificates::TrustedAuthority> trust;
        std::optional<NginxServer::Options::Tls> tls;
        if (c.https) {
            trust.emplace();
            tls = NginxServer::Options::Tls{TestCertificates::certificateFile(TestCertificates::Server::Good),
                                            TestCertificates::keyFile(TestCertificates::Server::Good)};
        }
        f.env.setSetting("kQSArchivePublicKey", QString(signer.publicKeyLine()));
        // Pauses of 1 s, then 2 s: nginx is back before long, and an attempt refused meanwhile
        // keeps the bytes on disk for the next one.
        f.flow->setRetryBackoff(QSRetryBackoff({1000ms, 2000ms}, [] { return 1.0; }));
        NginxServer nginx;
        nginx.putFile(QStringLiteral("Corvala.zip"), original);
        ASSERT_TRUE(nginx.start({.limitRate = QStringLiteral("1m"), .serveRanges = true, .tls = tls}));
        f.startWith(nginx.url(QStringLiteral("/Corvala.zip")).toString(), 5,
                    c.replaceFile ? newerSignature : originalSignature);

        // Cut the line once about half the body is on disk.
        const QString partial = QSInstallFiles::partialPathFor(QSInstallFiles::archivePath());
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(partial).size() >= original.size() / 2; }, 30000));
        nginx.kill();
        const QList<float> progressBeforeCut = f.screens.progress;
        if (c.replaceFile)
            nginx.putFile(QStringLiteral("Corvala.zip"), newer);
        ASSERT_TRUE(nginx.start({.limitRate = {}, .serveRanges = c.serveRanges, .tls = tls}));
        ASSERT_TRUE(waitForOutcome(f, 60000));

        ASSERT_EQ(f.named("Install").value("RSLT"), "PASS") << f.screens.genericErrors.join(',').toStdString();
        const QByteArray &served = c.replaceFile ? newer : original;
        EXPECT_EQ(readFile(f.bundlePath() + "/Contents/Resources/blob"),
                  noise(c.replaceFile ? (3 << 20) + 4096 : 3 << 20, c.replaceFile ? 2 : 1));

        // The last answer: "<status> "<Range>" <body bytes>". Earlier ones may be refusals while
        // nginx came back.
        const QStringList log = nginx.accessLog();
        ASSERT_FALSE(log.isEmpty());
        const QRegularExpressionMatch last =
            QRegularExpression(QStringLiteral("^(\\d+) \"bytes=(\\d+)-\" (\\d+)$")).match(log.last());
        ASSERT_TRUE(last.hasMatch()) << log.last().toStdString();
        const qint64 from = last.captured(2).toLongLong(), sent = last.captured(3).toLongLong();
        EXPECT_GE(from, original.size() / 2);  // the next attempt asked for the rest
        if (c.continues) {
            EXPECT_EQ(last.captured(1), "206");
            EXPECT_EQ(sent, original.size() - from);
            EXPECT_LT(from + sent, original.size() * 16 / 10);
            // Progress went on from where it was.
            ASSERT_FALSE(progressBeforeCut.isEmpty());
            const QList<float> after = f.screens.progress.mid(progressBeforeCut.size());
            EXPECT_TRUE(std::all_of(after.begin(), after.end(), [&](float p) { return p >= progressBeforeCut.last(); }));
            EXPECT_TRUE(f.env.logLines().filter("The server sent the whole archive again").isEmpty());
        } else {
            EXPECT_EQ(last.captured(1), "200");
            EXPECT_EQ(sent, served.size());
            EXPECT_FALSE(f.env.logLines().filter("The server sent the whole archive again").isEmpty());
        }
        EXPECT_FALSE(f.env.logLines().filter(QStringLiteral("Resuming the download at byte %1").arg(from)).isEmpty());
        EXPECT_FALSE(QFileInfo::exists(partial));
        EXPECT_TRUE(f.hasRecord("DEBUG", "Archive signature verified (trusted comment: build 1234)",
                                QStringLiteral("-[QSMainController URLSession:downloadTask:didFinishDownloadingToURL:]")));
    }
}

// More than a minute in all, at 200 KiB/s: only silence ends an attempt, never its length.
TEST(Transfers, ASlowButSteadyLinkFinishes)
{
    FlowFixture f;
    NginxServer nginx;
    const QByteArray archive = productWithBlob(20 << 20, 3);
    nginx.putFile(QStringLiteral("Corvala.zip"), archive);
    ASSERT_TRUE(nginx.start({.limitRate = QStringLiteral("200k"), .serveRanges = true}));
    f.startWith(nginx.url(QStringLiteral("/Corvala.zip")).toString(), 1);
    ASSERT_TRUE(waitForOutcome(f, 400000));
    EXPECT_EQ(f.named("Install").value("RSLT"), "PASS");
    EXPECT_GT(f.named("Download").value("T").toDouble(), 60.0);
    EXPECT_EQ(nginx.accessLog(), QStringList({QStringLiteral("200 \"-\" %1").arg(archive.size())}));
}

TEST(Transfers, AnArchiveThatDoesNotFitWhereItIsWrittenStopsOnTheNoSpaceAlert)
{
    FlowFixture f;
    TestHttpServer server;
    const QByteArray archive = makeZip(productEntries());
    server.answer("/Corvala.zip", {200, {}, archive});
    // Plenty of room on "/", too little in the private temporary folder.
    const QString temporary = f.env.host.temporary;
    f.env.host.spaceAt = [temporary, &archive](const QString &path) {
        return path.startsWith(temporary) ? platform::FreeSpace{true, quint64(archive.size() / 2), {}}
                                          : platform::FreeSpace{true, quint64(50) << 30, {}};
    };
    f.startWith(server.url("/Corvala.zip").toString(), 3);
    ASSERT_TRUE(f.waitUntilSettled());
    EXPECT_EQ(f.screens.calls.last(), "showInfoAlert:no_space");
    EXPECT_EQ(server.requests().size(), 1) << "no retry: another attempt would not fit either";
    EXPECT_TRUE(f.named("Download").value("RSN").toString().contains("more bytes in " + temporary));
    EXPECT_TRUE(f.hasRecord("DEBUG", "Show NotEnoughSpace screen", "-[QSMainController URLSession:task:didCompleteWithError:]"));
    EXPECT_TRUE(isEmptyFolder(temporary));
}

// A body past the largest archive accepted ("kQSMaximumArchiveBytes"), announced or not, is cut off
// as a body longer than announced is: "Download Error", and the temporary folder never holds more.
TEST(Transfers, ABodyPastTheMaximumArchiveSizeIsCutOff)
{
    const qint64 maximum = 1 << 20;
    const QByteArray body = productWithBlob(4 << 20, 11);
    using Answer = TestHttpServer::Answer;
    const struct {
        const char *what;
        Answer answer;
        const char *reason;
    } cases[] = {
        {"chunked, no length", Answer{200, {}, body, TestHttpServer::Fault::Chunked, -1, 64 << 10, 5},
         "more than 1048576 bytes, the largest archive accepted"},
        {"a length above the maximum", Answer{200, {}, body}, "announced 4"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        f.env.setSetting("kQSMaximumArchiveBytes", QString::number(maximum));
        TestHttpServer server;
        server.answer("/Corvala.zip", c.answer);
        qint64 largest = 0;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            for (const QFileInfo &file : QDir(f.env.host.temporary).entryInfoList(QDir::Files | QDir::Hidden))
                largest = std::max(largest, file.size());
        });
        watch.start(1);
        f.startWith(server.url("/Corvala.zip").toString());
        ASSERT_TRUE(waitForOutcome(f, 20000));
        watch.stop();

        EXPECT_EQ(f.screens.genericErrors, QStringList({"Download Error"}));
        const QString reason = f.named("Download").value("RSN").toString();
        EXPECT_TRUE(reason.contains(QLatin1String(c.reason))) << reason.toStdString();
        EXPECT_LE(largest, maximum);
        EXPECT_TRUE(isEmptyFolder(f.env.host.temporary));
    }
}

// Downloads the product and posts an analytics batch, with a real tinyproxy named by http_proxy;
// no_proxy as given. Each case runs in a process of its own (the system's proxy library reads the
// environment once).
static void downloadAndPostThroughProxy(const QByteArray &noProxy, bool expectProxied)
{
    TinyProxy proxy;
    ASSERT_TRUE(proxy.start());
    const ScopedEnv httpProxy("http_proxy", proxy.address().toUtf8());
    const ScopedEnv bypass("no_proxy", noProxy);
    FlowFixture f;
    TestHttpServer server;
    server.answer("/Corvala.zip", {200, {}, makeZip(productEntries())});
    server.answerOtherPaths({200, {}, "ok"});
    f.startWith(server.url("/Corvala.zip").toString());
    ASSERT_TRUE(f.waitUntilSettled());
    EXPECT_EQ(f.named("Install").value("RSLT"), "PASS");
    QSAnalyticSender::sendAll({QStringLiteral("line")}, server.url("/events"));

    ASSERT_EQ(server.requests().size(), 2);
    for (const TestHttpServer::Request &request : server.requests()) {
        // tinyproxy names itself in Via on what it passes on, and logs the request.
        EXPECT_EQ(request.header("Via").contains("tinyproxy"), expectProxied) << request.path.constData();
        EXPECT_EQ(proxy.log().contains(server.url(QString::fromUtf8(request.path)).toString() + " HTTP/1.1"), expectProxied)
            << proxy.log().toStdString();
    }
}

TEST(ThroughProxy, RequestsGoThroughTheProxyThatHttpProxyNames)
{
    downloadAndPostThroughProxy("", true);
}

TEST(ThroughProxy, NoProxyNamingTheHostGoesDirect)
{
    downloadAndPostThroughProxy("localhost,127.0.0.1", false);
}

// The proxy in the way refuses: it wants credentials (407), or nothing listens where it should be.
static void refusedByProxy(const QString &proxyAddress)
{
    const ScopedEnv httpProxy("http_proxy", proxyAddress.toUtf8());
    const ScopedEnv noProxy("no_proxy", "");
    FlowFixture f;
    TestHttpServer server;
    server.answer("/Corvala.zip", {200, {}, makeZip(productEntries())});
    f.startWith(server.url("/Corvala.zip").toString(), 2);
    ASSERT_TRUE(f.waitUntilSettled());
    EXPECT_EQ(f.screens.genericErrors, QStringList({"Download Error"}));
    EXPECT_TRUE(server.requests().isEmpty());
    const QString proxyName = proxyAddress.mid(7);  // "127.0.0.1:<port>"
    EXPECT_EQ(f.env.logLines().filter(QStringLiteral("Proxy problem: the proxy %1 refused the download").arg(proxyName)).size(), 2)
        << f.env.logLines().join('\n').toStdString();
    EXPECT_FALSE(QFileInfo::exists(f.bundlePath()));
}

TEST(ThroughProxy, AProxyThatWantsCredentialsEndsOnDownloadErrorWithARecordNamingIt)
{
    TinyProxy proxy;
    ASSERT_TRUE(proxy.start(QStringLiteral("corp"), QStringLiteral("secret")));
    refusedByProxy(proxy.address());
}

TEST(ThroughProxy, AProxyThatIsNotThereEndsOnDownloadErrorWithARecordNamingIt)
{
    quint16 port = 0;
    {
        QTcpServer probe;  // a port that was free a moment ago and now has no listener
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    refusedByProxy(QStringLiteral("http://127.0.0.1:%1").arg(port));
}
