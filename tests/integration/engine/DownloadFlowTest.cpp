// The download half of the flow against a real HTTP server on 127.0.0.1: retries, transport
// failures, cut and stalled bodies, answers without a length, the network lost meanwhile.
#include "FlowTestSupport.h"
#include "TestHttpServer.h"

#include "engine/QSInstallFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

using namespace enginetest;
using Fault = TestHttpServer::Fault;

namespace {

const QString kFinishedFn = QStringLiteral("-[QSMainController URLSession:downloadTask:didFinishDownloadingToURL:]");
const QString kCompletedFn = QStringLiteral("-[QSMainController URLSession:task:didCompleteWithError:]");

// Whether the flow has come to rest on a screen: an error, an alert, or the finished state.
bool settled(const FlowFixture &f)
{
    return !f.screens.genericErrors.isEmpty() || !f.screens.alerts.isEmpty() ||
        f.screens.calls.contains(QStringLiteral("updateLauchButtons"));
}

QList<QJsonObject> downloadEvents(const FlowFixture &f)
{
    QList<QJsonObject> found;
    for (const auto &event : f.events.named(QStringLiteral("Download")))
        found << event.fields;
    return found;
}

bool noTemporaryFiles(const FlowFixture &f)
{
    return QDir(f.env.host.temporary).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).isEmpty();
}

// Answers every connection with a body that has no announced length and ends when the
// connection closes, as an HTTP/1.0 server would.
class CloseDelimitedServer {
public:
    explicit CloseDelimitedServer(QByteArray body) : body_(std::move(body))
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket *socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n"))
                        return;
                    socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body_);
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/Corvala.zip").arg(server_.serverPort()); }

private:
    QByteArray body_;
    QTcpServer server_;
};

}  // namespace

TEST(DownloadFlow, HttpFailuresAreRetriedUpToTheLimitThenDownloadError)
{
    struct Case {
        const char *what;
        quint64 limit;
        int status;
        QByteArray body;
        int attempts;
    };
    const QList<Case> cases = {
        {"404 with a body, limit 3", 3, 404, "not here", 3},
        {"limit 1: one attempt", 1, 404, "not here", 1},
        {"500 without a body is judged when it ends", 2, 500, "", 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        TestHttpServer server;
        server.answer("/Corvala.zip", {c.status, {}, c.body});
        const QString url = server.url("/Corvala.zip").toString();
        f.startWith(makeConfig(url, c.limit, "1234"));
        ASSERT_TRUE(waitFor([&] { return settled(f); }));

        EXPECT_EQ(server.requests().size(), c.attempts);
        EXPECT_EQ(f.screens.genericErrors, QStringList({"Download Error"}));
        const QList<QJsonObject> downloads = downloadEvents(f);
        ASSERT_EQ(downloads.size(), c.attempts);
        for (int i = 0; i < c.attempts; ++i) {
            const QJsonObject &e = downloads[i];
            EXPECT_EQ(e.value("Tries"), i + 1);
            EXPECT_EQ(e.value("RSLT"), "FAIL");
            EXPECT_EQ(e.value("URL"), url);
            EXPECT_EQ(e.value("DProd"), "Corvala");
            EXPECT_EQ(e.value("DProdVer"), "1234");
            EXPECT_TRUE(e.value("T").isDouble());
            const QString reason = i + 1 < c.attempts
                ? QStringLiteral("Current retry attempt %1, max download retry limit %2").arg(i + 1).arg(c.limit)
                : QStringLiteral("HTTP Response with status code %1").arg(c.status);
            EXPECT_EQ(e.value("RSN"), reason);
            EXPECT_TRUE(f.hasRecord("ERROR",
                                    QStringLiteral("[Attempt %1 ] :Download Corvala installer failed (error = HTTP Response "
                                                   "with status code %2)").arg(i + 1).arg(c.status),
                                    kFinishedFn));
        }
        EXPECT_EQ(f.functionsOf("DEBUG", "Retrying download.").size(), c.attempts - 1);
        // The generic screen's "Install" FAIL comes before the last "Download" event.
        const QStringList names = f.events.names();
        EXPECT_EQ(names.mid(names.size() - 2), QStringList({"Install", "Download"}));
        EXPECT_EQ(f.events.named("Install").first().fields.value("RSN"), "Download Error");
        EXPECT_TRUE(hasLineStartingWith(f.env.consoleLines, QStringLiteral("[Attempt %1 ] : Download: %2").arg(c.attempts).arg(url)));
        EXPECT_TRUE(noTemporaryFiles(f));
        EXPECT_LE(f.screens.calls.indexOf("makeMainViewVisible"), f.screens.calls.indexOf("showGenericError:Download Error"));
    }
}

TEST(DownloadFlow, TransportFailuresAreReportedPerAttemptAndRetried)
{
    struct Case {
        const char *what;
        std::function<QString(TestHttpServer &)> arrange;  // gives the archive's address
        std::function<void(const QJsonObject &)> checkEvent;
    };
    const QByteArray body(64 * 1024, 'z');
    const QList<Case> cases = {
        {"connection refused",
         [](TestHttpServer &s) {
             const QString url = s.url("/Corvala.zip").toString();
             s.refuse();
             return url;
         },
         [](const QJsonObject &e) {
             EXPECT_EQ(e.value("Frag"), -1) << "no length was announced";
             EXPECT_TRUE(e.value("RSN").toString().startsWith("Download complete with error "));
             EXPECT_TRUE(e.value("RSN").toString().endsWith(" and error code received is 1"));
         }},
        {"reset in the middle of the body",
         [&](TestHttpServer &s) {
             s.answer("/Corvala.zip", {200, {}, body, Fault::ResetMidBody});
             return s.url("/Corvala.zip").toString();
         },
         [](const QJsonObject &e) {
             EXPECT_GE(e.value("Frag").toInt(), 0);
             EXPECT_LE(e.value("Frag").toInt(), 50);
         }},
        {"closed before the announced length",
         [&](TestHttpServer &s) {
             TestHttpServer::Answer answer{200, {}, body, Fault::WrongLength};
             answer.announcedLength = body.size() * 4;
             s.answer("/Corvala.zip", answer);
             return s.url("/Corvala.zip").toString();
         },
         [](const QJsonObject &e) { EXPECT_EQ(e.value("Frag"), 25); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        TestHttpServer server;
        const QString url = c.arrange(server);
        f.startWith(makeConfig(url, 2, "1234"));
        ASSERT_TRUE(waitFor([&] { return settled(f); }));

        EXPECT_EQ(f.screens.genericErrors, QStringList({"Download Error"}));
        const QList<QJsonObject> downloads = downloadEvents(f);
        ASSERT_EQ(downloads.size(), 2);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(downloads[i].value("Tries"), i + 1);
            EXPECT_EQ(downloads[i].value("RSLT"), "FAIL");
            EXPECT_EQ(downloads[i].value("DProdVer"), "1234");
            EXPECT_FALSE(downloads[i].contains("T"));
            c.checkEvent(downloads[i]);
        }
        EXPECT_EQ(f.functionsOf("DEBUG", "Retrying download.").size(), 1);
        EXPECT_EQ(f.env.logLines().filter("Download failure reason - ").size(), 2);
        EXPECT_EQ(f.env.logLines().filter(kCompletedFn).size(), 3);  // two failures and one retry
        EXPECT_TRUE(hasLineStartingWith(f.env.consoleLines, "*** Error received : "));
        EXPECT_TRUE(noTemporaryFiles(f));
        EXPECT_TRUE(f.env.host.launches.isEmpty());
    }
}

TEST(DownloadFlow, StalledAndTricklingTransfersEndAtTheirTimeLimits)
{
    struct Case {
        const char *what;
        TestHttpServer::Answer answer;
        QSDownloadTimeouts timeouts;
        QString reason;
    };
    TestHttpServer::Answer trickle{200, {}, QByteArray(100 * 1024, 't'), Fault::SlowBody};
    trickle.chunkBytes = 16;
    trickle.chunkIntervalMs = 20;
    const QList<Case> cases = {
        {"server never answers", {200, {}, "x", Fault::Stall}, {std::chrono::milliseconds(300), std::chrono::seconds(30)},
         "No data arrived for 0.3 seconds"},
        {"body trickles past the deadline", trickle, {std::chrono::seconds(5), std::chrono::milliseconds(400)},
         "The download did not finish within 0.4 seconds"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        TestHttpServer server;
        server.answer("/Corvala.zip", c.answer);
        f.flow->setDownloadTimeouts(c.timeouts);
        f.startWith(makeConfig(server.url("/Corvala.zip").toString(), 1));
        ASSERT_TRUE(waitFor([&] { return settled(f); }));
        const QList<QJsonObject> downloads = downloadEvents(f);
        ASSERT_EQ(downloads.size(), 1);
        EXPECT_EQ(downloads[0].value("RSN"),
                  QStringLiteral("Download complete with error %1 and error code received is 4").arg(c.reason));
        EXPECT_EQ(f.screens.genericErrors, QStringList({"Download Error"}));
        EXPECT_TRUE(noTemporaryFiles(f));
    }
}

TEST(DownloadFlow, ABodyWithoutAnnouncedLengthIsJudgedWhenTheTransferEnds)
{
    FlowFixture f;
    CloseDelimitedServer server(makeZip(productEntries()));
    f.startWith(makeConfig(server.url(), 1, "1234"));
    ASSERT_TRUE(waitFor([&] { return settled(f); }));
    EXPECT_TRUE(f.screens.genericErrors.isEmpty());
    EXPECT_EQ(f.events.names(), QStringList({"Config", "Download", "Extract", "Install"}));
    EXPECT_EQ(f.events.named("Install").first().fields.value("RSLT"), "PASS");
    EXPECT_TRUE(QFileInfo(f.applicationsPath() + "/Contents/MacOS/corvala").isExecutable());
}

TEST(DownloadFlow, LosingTheNetworkDuringTheDownloadShowsTheOfflineAlert)
{
    struct Case {
        const char *what;
        bool transportFailure;
    };
    for (const Case &c : {Case{"the body arrives whole", false}, Case{"the transfer fails", true}}) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        TestHttpServer server;
        server.answer("/Corvala.zip", {200, {}, makeZip(productEntries())});
        const QString url = server.url("/Corvala.zip").toString();
        if (c.transportFailure)
            server.refuse();
        f.startWith(makeConfig(url, 3, "1234"));
        f.env.host.reachability = std::nullopt;  // gone after the configuration arrived
        ASSERT_TRUE(waitFor([&] { return settled(f); }));

        ASSERT_EQ(f.screens.alerts.size(), 1);
        EXPECT_EQ(f.screens.alerts.first().iconName, "no_internet");
        EXPECT_TRUE(f.screens.alerts.first().retry);
        EXPECT_TRUE(f.screens.genericErrors.isEmpty());
        EXPECT_TRUE(f.hasRecord("DEBUG", "Show NoInternet screen", c.transportFailure ? kCompletedFn : kFinishedFn));
        const QList<QJsonObject> downloads = downloadEvents(f);
        ASSERT_EQ(downloads.size(), 1) << "no retry while offline";
        if (!c.transportFailure) {
            EXPECT_EQ(downloads[0].value("RSN"), "Download failed");
            EXPECT_EQ(downloads[0].value("CData"), "No internet connection");
            EXPECT_EQ(downloads[0].value("Tries"), 1);
            EXPECT_FALSE(downloads[0].contains("DProdVer"));
        }
        EXPECT_TRUE(f.events.named("Extract").isEmpty());
        EXPECT_FALSE(QFileInfo::exists(f.applicationsPath()));
        EXPECT_TRUE(noTemporaryFiles(f));
    }
}
