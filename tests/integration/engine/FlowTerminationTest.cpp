// The end of the run stops the installation first: at each stage the flow stops before the call
// returns, records nothing afterwards, leaves no temporary file and never half a product.
#include "EngineTestSupport.h"
#include "TestHttpServer.h"

#include "archive/ZipExtractor.h"
#include "engine/QSTermination.h"

#include <QFileInfo>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>

using namespace enginetest;
using namespace std::chrono_literals;
using Answer = TestHttpServer::Answer;

TEST(FlowTermination, EveryStageStopsAtOnceAndRecordsNothingAfterwards)
{
    const QByteArray archive = makeZip(productEntries());
    enum Stage { Configuration, Download, RetryPause, Extraction, Placement };
    const struct {
        const char *what;
        Stage stage;
        Answer answer;
    } cases[] = {
        {"configuration on its way", Configuration, Answer{200, {}, archive}},
        {"download running", Download, Answer{200, {}, archive, TestHttpServer::Fault::SlowBody, -1, 64, 50}},
        {"waiting before a retry", RetryPause, Answer{503, {{"Retry-After", "5"}}, "later"}},
        {"extraction running", Extraction, Answer{200, {}, archive}},
        // The product is whole and "Install" PASS recorded before the stop returned.
        {"placement running", Placement, Answer{200, {}, archive}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        f.flow->setRetryBackoff(QSRetryBackoff({20ms, 10s}));
        TestHttpServer server;
        server.answer("/Corvala.zip", c.answer);
        std::atomic<bool> extracting{false};
        if (c.stage == Extraction) {
            // A slow extraction that would succeed: stopping must still keep placement from starting.
            f.env.host.extractor = [&extracting](const QString &from, const QString &to, QString *) {
                extracting = true;
                std::this_thread::sleep_for(300ms);
                return archives::ZipExtractor().extract(from, to);
            };
        }
        bool stopped = false;
        const quint64 observer = f.center().addObserver(QStringLiteral("LOG_ANALYTICS"), [&](const platform::Notification &n) {
            // Right after extraction's event the flow starts the placement worker; stop then.
            if (c.stage == Placement && n.object.toString().contains("\"EVT\":\"Extract\""))
                QTimer::singleShot(0, [&] { QSTermination::instance().announce(), stopped = true; });
        });
        if (c.stage == Configuration)
            f.flow->startInstallation();  // the answer stays pending
        else
            f.startWith(server.url("/Corvala.zip").toString(), 3);
        const std::function<bool()> reached[] = {
            [] { return true; }, [&] { return f.screens.progress.size() >= 3; },
            [&] { return !f.env.logLines().filter("Next download attempt in").isEmpty(); }, [&] { return extracting.load(); },
            [&] { return stopped; }};
        ASSERT_TRUE(QTest::qWaitFor(reached[c.stage], 10000));
        if (c.stage == Download)  // the person's confirmed quit: the flow stops before the end records
            f.flow->quitInstallation(QVariant());
        else if (c.stage != Placement)
            QSTermination::instance().announce();
        EXPECT_TRUE(f.flow->isStopped());
        const QStringList records = f.env.logLines();
        EXPECT_TRUE(c.stage != Download || (f.terminations == 1 && records.size() >= 2 && records.last().contains("Corvala end.")
                                            && records[records.size() - 2].contains("Download stopped: the installer is ending")));

        const bool placed = c.stage == Placement;
        const QStringList eventsAtStop = f.eventNames(), callsAtStop = f.screens.calls;
        const int recordsAtStop = records.size();
        EXPECT_EQ(eventsAtStop.contains("Install"), placed) << eventsAtStop.join(',').toStdString();
        EXPECT_EQ(QFileInfo(f.bundlePath() + "/Contents/MacOS/corvala").isExecutable(), placed);
        EXPECT_EQ(QFileInfo::exists(f.bundlePath()), placed) << "never half a product";
        EXPECT_TRUE(isEmptyFolder(f.env.host.temporary));
        // Whatever was still on its way (the configuration, timers, the worker's report, the
        // server's bytes) changes nothing now, and nothing starts again.
        for (QSConfigProvider::Completion &pending : f.pending)
            pending(makeConfig(server.url("/Corvala.zip").toString()), std::nullopt);
        QTest::qWait(1500);
        f.flow->startInstallation();
        EXPECT_EQ(f.eventNames(), eventsAtStop);
        EXPECT_EQ(f.screens.calls, callsAtStop);
        EXPECT_EQ(f.env.logLines().size(), recordsAtStop);
        EXPECT_EQ(QFileInfo::exists(f.bundlePath()), placed);
        EXPECT_LE(server.requests().size(), 1);
        f.center().removeObserver(observer);
    }
}
