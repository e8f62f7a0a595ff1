// The end of the run stops the installation first: at each stage (configuration on its way,
// download, pause before a retry, extraction, placement) the flow stops before the call returns,
// records nothing afterwards, leaves no temporary file and never half a product.
#include "EngineTestSupport.h"
#include "TestHttpServer.h"

#include "archive/ZipExtractor.h"
#include "engine/QSInstallFiles.h"
#include "engine/QSTermination.h"

#include <QFileInfo>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>

using namespace enginetest;
using namespace std::chrono_literals;
using Answer = TestHttpServer::Answer;

namespace {

enum class Stage { Configuration, Download, RetryPause, Extraction, Placement };

}  // namespace

TEST(FlowTermination, EveryStageStopsAtOnceAndRecordsNothingAfterwards)
{
    const QByteArray archive = makeZip(productEntries());
    const struct {
        const char *what;
        Stage stage;
        bool placed;  // the product is whole and "Install" PASS was recorded before the stop returned
    } cases[] = {
        {"configuration on its way", Stage::Configuration, false},
        {"download running", Stage::Download, false},
        {"waiting before a retry", Stage::RetryPause, false},
        {"extraction running", Stage::Extraction, false},
        {"placement running", Stage::Placement, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        TestHttpServer server;
        Answer answer{200, {}, archive};
        if (c.stage == Stage::Download) {
            answer.fault = TestHttpServer::Fault::SlowBody;
            answer.chunkBytes = 64;
            answer.chunkIntervalMs = 50;
        }
        if (c.stage == Stage::RetryPause) {
            answer = Answer{503, {{"Retry-After", "5"}}, "later"};
            f.flow->setRetryBackoff(QSRetryBackoff({20ms, 10s}));
        }
        server.answer("/Corvala.zip", answer);

        std::atomic<bool> extracting{false};
        if (c.stage == Stage::Extraction) {
            // A slow extraction that would succeed: stopping must still keep placement from starting.
            f.env.host.extractor = [&extracting](const QString &from, const QString &to, QString *error) {
                extracting = true;
                std::this_thread::sleep_for(300ms);
                archives::ZipExtractor zip;
                const bool ok = zip.extract(from, to);
                if (!ok && error)
                    *error = zip.errorString();
                return ok;
            };
        }
        bool stopReturned = false;
        quint64 observer = 0;
        if (c.stage == Stage::Placement) {
            // Right after extraction's event the flow starts the placement worker; stop then.
            observer = f.center().addObserver(QStringLiteral("LOG_ANALYTICS"), [&](const platform::Notification &n) {
                if (n.object.toString().contains("\"EVT\":\"Extract\""))
                    QTimer::singleShot(0, [&] {
                        QSTermination::instance().announce();
                        stopReturned = true;
                    });
            });
        }

        if (c.stage == Stage::Configuration) {
            f.flow->startInstallation();  // the answer stays pending
        } else {
            f.startWith(server.url("/Corvala.zip").toString(), 3);
        }
        switch (c.stage) {
        case Stage::Download:
            ASSERT_TRUE(QTest::qWaitFor([&] { return f.screens.progress.size() >= 3; }, 10000));
            break;
        case Stage::RetryPause:
            ASSERT_TRUE(QTest::qWaitFor([&] { return !f.env.logLines().filter("Next download attempt in").isEmpty(); }, 10000));
            break;
        case Stage::Extraction:
            ASSERT_TRUE(QTest::qWaitFor([&] { return extracting.load(); }, 10000));
            break;
        case Stage::Placement:
            ASSERT_TRUE(QTest::qWaitFor([&] { return stopReturned; }, 10000));
            break;
        case Stage::Configuration:
            break;
        }
        if (c.stage != Stage::Placement)
            QSTermination::instance().announce();
        EXPECT_TRUE(f.flow->isStopped());

        const QStringList eventsAtStop = f.eventNames(), callsAtStop = f.screens.calls;
        const int recordsAtStop = f.env.logLines().size();
        EXPECT_EQ(eventsAtStop.contains("Install"), c.placed) << eventsAtStop.join(',').toStdString();
        EXPECT_EQ(QFileInfo(f.bundlePath() + "/Contents/MacOS/corvala").isExecutable(), c.placed);
        EXPECT_EQ(QFileInfo::exists(f.bundlePath()), c.placed) << "never half a product";
        EXPECT_TRUE(isEmptyFolder(f.env.host.temporary));

        // Whatever was still on its way (the configuration answer, timers, the worker's report,
        // the server's bytes) changes nothing now.
        for (QSConfigProvider::Completion &pending : f.pending)
            pending(makeConfig(server.url("/Corvala.zip").toString()), std::nullopt);
        QTest::qWait(1500);
        EXPECT_EQ(f.eventNames(), eventsAtStop);
        EXPECT_EQ(f.screens.calls, callsAtStop);
        EXPECT_EQ(f.env.logLines().size(), recordsAtStop);
        EXPECT_FALSE(QFileInfo::exists(f.bundlePath()) && !c.placed);
        EXPECT_LE(server.requests().size(), 1);
        f.flow->startInstallation();  // nothing starts again either
        EXPECT_EQ(f.screens.calls, callsAtStop);
        if (observer)
            f.center().removeObserver(observer);
    }
}

// A confirmed quit stops the flow before it writes its end records and asks for termination.
TEST(FlowTermination, QuitStopsTheDownloadBeforeTheEndRecords)
{
    FlowFixture f;
    TestHttpServer server;
    Answer slow{200, {}, makeZip(productEntries()), TestHttpServer::Fault::SlowBody, -1, 64, 50};
    server.answer("/Corvala.zip", slow);
    f.startWith(server.url("/Corvala.zip").toString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.screens.progress.size() >= 2; }, 10000));
    f.flow->quitInstallation(QVariant());
    EXPECT_EQ(f.terminations, 1);
    const QStringList records = f.env.logLines();
    ASSERT_GE(records.size(), 2);
    EXPECT_TRUE(records[records.size() - 2].contains("Download stopped: the installer is ending"));
    EXPECT_TRUE(records.last().contains("Corvala end."));
    EXPECT_TRUE(isEmptyFolder(f.env.host.temporary));
}
