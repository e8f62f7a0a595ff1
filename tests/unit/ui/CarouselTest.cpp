#include "TestEnv.h"

#include "config/QSConfig.h"
#include "ui/QSCarousel.h"
#include "ui/QSPageController.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStackedWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QSConfig configWith(const QStringList &titles, const QString &image = QStringLiteral("http://127.0.0.1:1/images/page1.png"))
{
    QSConfig config;
    for (const QString &title : titles)
        config.screens.append(QJsonObject{{"text1", title}, {"text2", title + " description"}, {"image", image}});
    config.infoScreensCount = quint64(titles.size());
    return config;
}

struct Shown {
    QList<quint64> indexes;
    QList<QSPageController::Layout> layouts;
};

// Runs the carousel to its end with a short interval and records what it showed.
Shown run(QSCarousel &carousel, const QSConfig &config)
{
    Shown shown;
    QObject::connect(&carousel, &QSCarousel::pageShown, [&](quint64 index) {
        shown.indexes << index;
        carousel.currentPage()->loadViewIfNeeded();
        shown.layouts << carousel.currentPage()->currentLayout();
    });
    carousel.setAdvanceInterval(30);
    carousel.setupPageController(config);
    QTest::qWait(40 * (int(config.infoScreensCount) + 3));
    return shown;
}

using Layout = QSPageController::Layout;

}  // namespace

TEST(QSCarousel, PagesRevealItemsCumulativelyAndStopOnTheLast)
{
    TestEnv env;
    struct Case {
        QStringList titles;
        QList<quint64> indexes;
        QList<Layout> layouts;
    };
    const QList<Case> cases = {
        {{}, {}, {}},
        {{"A"}, {0}, {Layout::SingleItem}},
        {{"A", "B"}, {0, 1}, {Layout::SingleItem, Layout::TwoItems}},
        {{"A", "B", "C"}, {0, 1, 2}, {Layout::SingleItem, Layout::TwoItems, Layout::ThreeItems}},
        {{"A", "B", "C", "D", "E"}, {0, 1, 2, 3, 4},
         {Layout::SingleItem, Layout::TwoItems, Layout::ThreeItems, Layout::ThreeItems, Layout::ThreeItems}},
        // A repeated title makes one entry, the later screen's: the carousel stops a page earlier and
        // both pages it shows are that screen's.
        {{"A", "A", "B"}, {0, 1}, {Layout::TwoItems, Layout::TwoItems}},
    };
    for (const Case &c : cases) {
        QStackedWidget stack;
        QSCarousel carousel(&stack);
        const Shown shown = run(carousel, configWith(c.titles));
        EXPECT_EQ(shown.indexes, c.indexes) << c.titles.join(',').toStdString();
        EXPECT_EQ(shown.layouts, c.layouts) << c.titles.join(',').toStdString();
        EXPECT_FALSE(carousel.isAdvanceScheduled());
    }
    EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("PAGE CHANGED TO 1")));
    EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("PAGE CHANGED TO 2")));
}

TEST(QSCarousel, CancelStopsThePendingAdvanceAndBadEntriesDoNotStopIt)
{
    TestEnv env;
    QStackedWidget stack;
    QSCarousel carousel(&stack);
    carousel.setAdvanceInterval(30);
    QSConfig config = configWith({"A", "B"}, QStringLiteral("not a url at all"));
    config.screens.insert(1, QJsonObject{{"text2", "no title"}});
    config.infoScreensCount = 7;  // longer than the list
    carousel.setupPageController(config);
    EXPECT_TRUE(carousel.isAdvanceScheduled());
    carousel.cancel();
    QTest::qWait(80);
    EXPECT_EQ(carousel.pageIndex(), 0u);
    EXPECT_EQ(carousel.arrangedObjects().size(), 2);
}

TEST(QSCarousel, ImageAddressesFollowTheScreenScale)
{
    const QString image = QStringLiteral("https://cdn.example/img/page1.png?v=2");
    EXPECT_EQ(QSCarousel::scaledImageUrl(image, 1), QUrl(image));
    EXPECT_EQ(QSCarousel::scaledImageUrl(image, 2), QUrl("https://cdn.example/img/page1@2x.png?v=2"));
    EXPECT_EQ(QSCarousel::scaledImageUrl(image, 3), QUrl("https://cdn.example/img/page1@3x.png?v=2"));
    EXPECT_EQ(QSCarousel::scaledImageUrl("https://cdn.example/a.b.png", 2), QUrl("https://cdn.example/a@2x.b"));
    EXPECT_EQ(QSCarousel::scaledImageUrl("https://cdn.example/noextension", 2), QUrl("https://cdn.example/noextension"));
}
