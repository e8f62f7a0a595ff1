// The onboarding carousel: which pages it shows in which order, and where its pictures may come
// from (web addresses only: a local one, a FIFO, would hold the window), fetched once. (The @2x
// pictures a scaled screen asks for: e2e.display.scales.)

#include "TestEnv.h"
#include "TestHttpServer.h"
#include "UiTestSupport.h"

#include "config/QSConfig.h"
#include "engine/QSTermination.h"
#include "ui/QSCarousel.h"
#include "ui/QSPageController.h"
#include "ui/widgets/QSImageView.h"

#include <QBuffer>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static QSConfig configWith(const QStringList &titles, const QString &image = QStringLiteral("http://127.0.0.1:1/images/page1.png"))
{
    QSConfig config;
    for (const QString &title : titles)
        config.screens.append(QJsonObject{{"text1", title}, {"text2", title + " description"}, {"image", image}});
    config.infoScreensCount = quint64(titles.size());
    return config;
}

TEST(QSCarousel, PagesRevealItemsCumulativelyAndStopOnTheLast)
{
    using Layout = QSPageController::Layout;
    const Layout one = Layout::SingleItem, two = Layout::TwoItems, three = Layout::ThreeItems;
    const std::pair<QStringList, QList<Layout>> cases[] = {  // titles, the layout of each page shown
        {{}, {}},
        {{"A", "B", "C", "D", "E"}, {one, two, three, three, three}},
        // A repeated title makes one entry, the later screen's: the carousel stops a page earlier; an
        // entry without a title is left out.
        {{"A", "A", "B", ""}, {two, two}},
    };
    TestEnv env;
    for (const auto &[titles, layouts] : cases) {
        QStackedWidget stack;
        QSCarousel carousel(&stack);
        QList<Layout> shown;
        QObject::connect(&carousel, &QSCarousel::pageShown, [&](quint64 index) {
            EXPECT_EQ(index, quint64(shown.size())) << "pages in order, none skipped";
            carousel.currentPage()->loadViewIfNeeded();
            shown << carousel.currentPage()->currentLayout();
        });
        carousel.setAdvanceInterval(30);
        carousel.setupPageController(configWith(titles));
        // The carousel stops advancing on its last page; however slow the machine, it gets there.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !carousel.isAdvanceScheduled(); }, 20000)) << titles.join(',').toStdString();
        QTest::qWait(100);  // and then stays there
        EXPECT_EQ(shown, layouts) << titles.join(',').toStdString();
    }
}

// The end of the run stops the pages: the window's last requests run local loops, and a page
// turning then would be recorded after "End".
TEST(QSCarousel, TheEndOfTheRunStopsTheAdvance)
{
    TestEnv env;
    QStackedWidget stack;
    QSCarousel carousel(&stack);
    carousel.setupPageController(configWith({"A", "B"}));
    ASSERT_TRUE(carousel.isAdvanceScheduled());
    QSTermination::instance().announce();
    EXPECT_FALSE(carousel.isAdvanceScheduled());
}

// Local addresses are refused with a record and never opened, by the carousel and again by the page
// (a FIFO would hold any reader until a writer comes); texts come first, never read as markup.
TEST(QSCarousel, PageImagesAtLocalAddressesAreRefusedAndNeverOpenedAndTextsArePlain)
{
    TestEnv env;
    const QString fifo = env.path(QStringLiteral("page.png"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &address : {QUrl::fromLocalFile(fifo).toString(), "file://" + fifo + "#", QStringLiteral("data:image/png;base64,AAAA"),
                                   QStringLiteral("ftp://127.0.0.1/page.png"), QStringLiteral("/absolute/page.png")}) {
        SCOPED_TRACE(address.toStdString());
        QFile::remove(env.logFilePath());
        QStackedWidget stack;
        QSCarousel carousel(&stack);
        carousel.setupPageController(configWith({"A"}, address));
        ASSERT_EQ(carousel.arrangedObjects().size(), 1);
        EXPECT_TRUE(carousel.arrangedObjects().first().imageURL.isEmpty());
        EXPECT_EQ(env.logLines().filter("\"trace\": \"ERROR\"").filter("Ignoring the page image: not an http or https address").size(), 1);
        carousel.cancel();
    }
    QSPageController page;  // shows the first page
    page.setPages({QSPageObject{QStringLiteral("<b>T</b>"), QStringLiteral("<img src=x>"), QUrl::fromLocalFile(fifo)}});
    QSignalSpy finished(&page, &QSPageController::imageLoadFinished);
    page.loadViewIfNeeded();
    EXPECT_EQ(page.itemSlot(1).title->text(), QStringLiteral("<b>T</b>"));
    EXPECT_EQ(page.itemSlot(1).title->textFormat(), Qt::PlainText);
    EXPECT_TRUE(page.itemSlot(1).description->text().contains(QLatin1String("&lt;img src=x&gt;")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5000));
    EXPECT_FALSE(finished.first().at(1).toBool());
    EXPECT_FALSE(page.itemSlot(1).image->hasImage());
    // Nobody has the FIFO open for reading: a writer that does not wait finds no reader.
    const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
    EXPECT_EQ(writer < 0 ? -1 : ::close(writer) + 1, -1);
}

TEST(QSCarousel, APictureThatArrivedIsDrawnAtOnceOnLaterPagesWithoutBeingFetchedAgain)
{
    TestEnv env;
    TestHttpServer server;
    QSConfig config;
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QByteArray png;
    QBuffer buffer(&png);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "PNG"));
    for (const char *name : {"A", "B"}) {
        const QByteArray path = QByteArray("/") + name + ".png";
        server.answer(path, {200, {{"Content-Type", "image/png"}}, png});
        config.screens.append(QJsonObject{{"text1", name}, {"text2", ""}, {"image", server.url(QString::fromLatin1(path)).toString()}});
    }
    config.infoScreensCount = 2;
    QStackedWidget stack;
    QSCarousel carousel(&stack);
    carousel.setAdvanceInterval(3600 * 1000);  // the test turns the page
    carousel.setupPageController(config);
    carousel.currentPage()->loadViewIfNeeded();
    ASSERT_TRUE(QTest::qWaitFor([&] { return carousel.currentPage()->itemSlot(1).image->hasImage(); }, 10000));
    EXPECT_EQ(carousel.currentPage()->itemSlot(1).image->image().size(), QSizeF(40, 30));

    // Gone from its address now: the second page still shows the first item's picture, at once.
    server.answer("/A.png", {404});
    carousel.moveToNextPage();
    QSPageController *second = carousel.currentPage();
    second->loadViewIfNeeded();
    EXPECT_TRUE(second->itemSlot(21).image->hasImage()) << "the slot waits for a picture that had already arrived";
    EXPECT_FALSE(second->itemSlot(22).image->hasImage());  // a new picture still has to arrive
    EXPECT_TRUE(QTest::qWaitFor([&] { return second->itemSlot(22).image->hasImage(); }, 10000));
    EXPECT_EQ(std::count_if(server.requests().begin(), server.requests().end(), [](const auto &r) { return r.path == "/A.png"; }), 1)
        << "a picture that arrived is not fetched again";
}
