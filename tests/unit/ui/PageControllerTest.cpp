#include "TestEnv.h"

#include "ui/QSPageController.h"
#include "ui/widgets/QSImageView.h"

#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

TEST(PageController, ImagesArriveLaterAndAFailedOneLeavesItsSlotEmpty)
{
    TestEnv env;
    QImage picture(40, 30, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    const QString good = env.path(QStringLiteral("page1.png"));
    ASSERT_TRUE(picture.save(good));
    QFile junk(env.path(QStringLiteral("junk.png")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("not an image") > 0);
    junk.close();

    QSPageController page;
    page.setIndex(2);
    page.setPages({QSPageObject{QStringLiteral("A"), QStringLiteral("a"), QUrl::fromLocalFile(good)},
                   QSPageObject{QStringLiteral("B"), QStringLiteral("b"), QUrl::fromLocalFile(junk.fileName())},
                   QSPageObject{QStringLiteral("C"), QStringLiteral("c"), QUrl(QStringLiteral("http://127.0.0.1:1/page3.png"))}});
    QSignalSpy finished(&page, &QSPageController::imageLoadFinished);
    page.loadViewIfNeeded();
    EXPECT_EQ(page.itemSlot(33).title->text(), QStringLiteral("C"));  // texts come before any picture
    EXPECT_FALSE(page.itemSlot(31).image->hasImage());

    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 3; }, 10000));
    EXPECT_EQ(page.itemSlot(31).image->image().size(), QSizeF(40, 30));
    EXPECT_FALSE(page.itemSlot(32).image->hasImage());
    EXPECT_FALSE(page.itemSlot(33).image->hasImage());
    for (const QString &line : env.consoleLines)
        EXPECT_FALSE(line.startsWith(QLatin1String("Exception"))) << line.toStdString();
}

TEST(PageController, TitlesAndDescriptionsAreNeverReadAsMarkup)
{
    TestEnv env;
    QSPageController page;
    page.setPages({QSPageObject{QStringLiteral("<b>T</b>"), QStringLiteral("<img src=x>"), QUrl()}});
    page.loadViewIfNeeded();
    EXPECT_EQ(page.itemSlot(1).title->text(), QStringLiteral("<b>T</b>"));
    EXPECT_EQ(page.itemSlot(1).title->textFormat(), Qt::PlainText);
    EXPECT_TRUE(page.itemSlot(1).description->text().contains(QLatin1String("&lt;img src=x&gt;")));
}
