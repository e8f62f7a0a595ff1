// Download attempts against servers on 127.0.0.1: error answers, transport failures, cut, stalled
// and overlong bodies, an answer without a length, the network lost meanwhile.
#include "EngineTestSupport.h"
#include "TestHttpServer.h"

#include "platform/Localization.h"

#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

using namespace enginetest;
using namespace std::chrono_literals;
using Answer = TestHttpServer::Answer;
using Fault = TestHttpServer::Fault;

static const QString kFinishedFn = QStringLiteral("-[QSMainController URLSession:downloadTask:didFinishDownloadingToURL:]");
static const QString kCompletedFn = QStringLiteral("-[QSMainController URLSession:task:didCompleteWithError:]");

TEST(DownloadFlow, FailedAttemptsAreReportedAndRetriedUpToTheLimitThenDownloadError)
{
    const QByteArray body(64 * 1024, 'z');
    const struct {
        const char *what;
        std::optional<Answer> answer;  // none: the connection is refused
        QSDownloadTimeouts timeouts;
        int limit, status;  // status 0: a transport failure
        QString reason;
    } cases[] = {
        {"404 with a body, limit 3", Answer{404, {}, "not here"}, {}, 3, 404, {}},
        {"500 without a body, judged when it ends", Answer{500}, {}, 2, 500, {}},
        {"connection refused", std::nullopt, {}, 2, 0, "and error code received is 1"},
        {"closed before the announced length", Answer{200, {}, body, Fault::WrongLength, body.size() * 4}, {}, 2, 0,
         "and error code received is 2"},
        // Chunked, so the client reads on past the announced length.
        {"bytes beyond the announced length",
         Answer{200, {{"Transfer-Encoding", "chunked"}, {"Content-Length", "16"}}, "20\r\n" + QByteArray(32, 'o') + "\r\n0\r\n\r\n"},
         {}, 2, 0, "The server sent more than the announced 16 bytes"},
        {"server never answers", Answer{200, {}, "x", Fault::Stall}, {300ms}, 2, 0,
         "No data arrived for 0.3 seconds and error code received is 4"},
        // Qt reads these statuses as errors of its own kinds; they are answers all the same.
        {"400 with a body", Answer{400, {}, "bad"}, {}, 2, 400, {}},
        {"407 from the server itself", Answer{407, {}, "who?"}, {}, 2, 407, {}},
        {"418 with a body", Answer{418, {}, "teapot"}, {}, 2, 418, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        TestHttpServer server;
        c.answer ? server.answer("/Corvala.zip", *c.answer) : server.refuse();
        const QString url = server.url("/Corvala.zip").toString();
        f.flow->setDownloadTimeouts(c.timeouts);
        f.startWith(url, c.limit);
        ASSERT_TRUE(f.waitUntilSettled());

        EXPECT_EQ(server.requests().size(), c.answer ? c.limit : 0);
        EXPECT_EQ(f.screens.genericErrors, QStringList({"Download Error"}));
        EXPECT_EQ(f.named("Install").value("RSN"), "Download Error");
        ASSERT_EQ(f.eventNames().count("Download"), c.limit);
        for (int i = 0; i < c.limit; ++i) {
            const QJsonObject download = f.named("Download", i), common{{"Tries", i + 1}, {"RSLT", "FAIL"}, {"URL", url}, {"DProdVer", "1234"}};
            EXPECT_EQ(fieldsLike(download, common), common);
            const QString reason = download.value("RSN").toString();
            // A judged answer has a time; a transport failure has the downloaded share instead.
            EXPECT_EQ(download.contains("T"), c.status != 0);
            EXPECT_EQ(download.value("Frag").isDouble(), c.status == 0);
            if (c.status) {
                EXPECT_EQ(reason, i + 1 < c.limit
                              ? QStringLiteral("Current retry attempt %1, max download retry limit %2").arg(i + 1).arg(c.limit)
                              : QStringLiteral("HTTP Response with status code %1").arg(c.status));
                EXPECT_TRUE(f.hasRecord("ERROR", QStringLiteral("[Attempt %1 ] :Download Corvala installer failed (error = HTTP "
                                                                "Response with status code %2)").arg(i + 1).arg(c.status),
                                        kFinishedFn));
            } else {
                EXPECT_TRUE(reason.startsWith("Download complete with error ") && reason.contains(c.reason)) << reason.toStdString();
            }
        }
        EXPECT_TRUE(f.hasRecord("DEBUG", "Retrying download.", c.status ? kFinishedFn : kCompletedFn));
        // An error answer's last "Download" event follows the failure's "Install"; a transport failure's precedes it.
        EXPECT_EQ(f.eventNames().mid(f.events.size() - 2),
                  c.status ? QStringList({"Install", "Download"}) : QStringList({"Download", "Install"}));
        EXPECT_TRUE(isEmptyFolder(f.env.host.temporary));
    }
}

TEST(DownloadFlow, ABodyWithoutAnnouncedLengthIsJudgedWhenTheTransferEnds)
{
    FlowFixture f;
    QTcpServer server;  // the body ends when the connection closes
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const QByteArray answer = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + makeZip(productEntries());
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket *socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, [socket, answer] {
            socket->readAll();
            socket->write(answer);
            socket->disconnectFromHost();
        });
    });
    f.startWith(QStringLiteral("http://127.0.0.1:%1/Corvala.zip").arg(server.serverPort()));
    ASSERT_TRUE(f.waitUntilSettled());
    EXPECT_EQ(f.eventNames(), QStringList({"Config", "Download", "Extract", "Install"}));
    EXPECT_EQ(f.named("Install").value("RSLT"), "PASS");
    EXPECT_TRUE(QFileInfo(f.bundlePath() + "/Contents/MacOS/corvala").isExecutable());
}

TEST(DownloadFlow, LosingTheNetworkDuringTheDownloadShowsTheOfflineAlert)
{
    for (const bool transportFailure : {false, true}) {
        SCOPED_TRACE(transportFailure ? "the transfer fails" : "the body arrives whole");
        FlowFixture f;
        TestHttpServer server;
        server.answer("/Corvala.zip", {200, {}, makeZip(productEntries())});
        const QString url = server.url("/Corvala.zip").toString();
        if (transportFailure)
            server.refuse();
        f.startWith(url, 3);
        f.env.host.reachability = std::nullopt;  // gone after the configuration arrived
        ASSERT_TRUE(f.waitUntilSettled());

        EXPECT_EQ(f.screens.calls.mid(f.screens.calls.size() - 2), QStringList({"makeMainViewVisible", "showInfoAlert:no_internet"}));
        EXPECT_TRUE(f.hasRecord("DEBUG", "Show NoInternet screen", transportFailure ? kCompletedFn : kFinishedFn));
        EXPECT_EQ(f.eventNames(), QStringList({"Config", "Download"})) << "no retry while offline";
        const QJsonObject offline{{"RSN", "Download failed"}, {"CData", "No internet connection"}, {"Tries", 1}};
        EXPECT_TRUE(transportFailure || fieldsLike(f.named("Download"), offline) == offline);
        EXPECT_FALSE(QFileInfo::exists(f.bundlePath()));
        EXPECT_TRUE(isEmptyFolder(f.env.host.temporary));
    }
}

// Attempts are spread out: each pause lies under its growing ceiling, the status line says that
// a retry is coming, and a server's Retry-After sets the pause (up to the cap).
TEST(DownloadFlow, AttemptsArePacedByBackOffAndRetryAfter)
{
    const struct {
        const char *what;
        Answer answer;
        int limit;
        QList<qint64> minGapMs, maxGapMs;
    } cases[] = {
        // Ceilings 200, 400, 800 ms; a generous margin above them for a busy machine.
        {"404, limit 4", Answer{404, {}, "not here"}, 4, {0, 0, 0}, {200 + 1500, 400 + 1500, 800 + 1500}},
        {"503 with Retry-After: 2", Answer{503, {{"Retry-After", "2"}}, "later"}, 2, {1900}, {2000 + 1500}},
        {"503 with Retry-After past the cap", Answer{503, {{"Retry-After", "3600"}}, "later"}, 2, {1900}, {2000 + 1500}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        f.flow->setRetryBackoff(QSRetryBackoff({200ms, 2000ms}));
        TestHttpServer server;
        server.answer("/Corvala.zip", c.answer);
        f.startWith(server.url("/Corvala.zip").toString(), c.limit);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !f.screens.genericErrors.isEmpty(); }, 20000));

        ASSERT_EQ(server.requests().size(), c.limit);
        for (int i = 1; i < c.limit; ++i) {
            const qint64 gap = server.requests()[i].receivedAtMs - server.requests()[i - 1].receivedAtMs;
            EXPECT_GE(gap, c.minGapMs[i - 1]) << "gap " << i;
            EXPECT_LE(gap, c.maxGapMs[i - 1]) << "gap " << i;
        }
        // The attempt-count rule and the events stay as they were.
        EXPECT_EQ(f.eventNames().count("Download"), c.limit);
        EXPECT_EQ(f.named("Download", c.limit - 1).value("Tries"), c.limit);
        const QString retrying = platform::localizedString("QSRetryingDownload").section(QStringLiteral("%@"), 0, 0);
        const auto announced = std::count_if(f.screens.statusLines.begin(), f.screens.statusLines.end(),
                                             [&](const QString &line) { return line.startsWith(retrying); });
        EXPECT_EQ(announced, c.limit - 1) << f.screens.statusLines.join('|').toStdString();
        EXPECT_EQ(f.env.logLines().filter("Next download attempt in").size(), c.limit - 1);
    }
}
