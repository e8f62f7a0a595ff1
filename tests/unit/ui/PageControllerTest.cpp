#include "TestEnv.h"
#include "UiTestSupport.h"

#include "platform/Localization.h"
#include "ui/QSPageController.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSImageView.h"

#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

QList<QSPageObject> items(int count)
{
    QList<QSPageObject> result;
    for (int i = 1; i <= count; ++i)
        result << QSPageObject{QStringLiteral("Title %1").arg(i), QStringLiteral("Description %1").arg(i), QUrl()};
    return result;
}

struct LayoutCase {
    qint64 index;
    int itemCount;
    QSPageController::Layout layout;
    // slot number -> expected title (empty: the slot stays unfilled)
    std::vector<std::pair<int, const char *>> filled;
};

void PrintTo(const LayoutCase &c, std::ostream *out)
{
    *out << "index " << c.index << ", " << c.itemCount << " items";
}

class PageLayout : public ::testing::TestWithParam<LayoutCase> {
protected:
    TestEnv env;
};

TEST_P(PageLayout, ShowsTheFirstItemsCumulatively)
{
    const LayoutCase &c = GetParam();
    QSPageController page;
    page.setIndex(c.index);
    page.setPages(items(c.itemCount));
    page.loadViewIfNeeded();

    EXPECT_EQ(page.currentLayout(), c.layout);
    EXPECT_EQ(page.singleItemView()->isVisibleTo(&page), c.layout == QSPageController::Layout::SingleItem);
    EXPECT_EQ(page.twoItemView()->isVisibleTo(&page), c.layout == QSPageController::Layout::TwoItems);
    EXPECT_EQ(page.threeItemView()->isVisibleTo(&page), c.layout == QSPageController::Layout::ThreeItems);
    EXPECT_EQ(page.contentTextView()->isVisibleTo(&page), c.layout == QSPageController::Layout::ThreeItems);
    EXPECT_FALSE(page.contentText()->isVisibleTo(&page));
    for (const auto &[number, title] : c.filled)
        EXPECT_EQ(page.itemSlot(number).title->text(), QString::fromLatin1(title)) << "slot " << number;
}

using L = QSPageController::Layout;
INSTANTIATE_TEST_SUITE_P(
    IndicesAndItems, PageLayout,
    ::testing::Values(LayoutCase{0, 1, L::SingleItem, {{1, "Title 1"}}},
                      LayoutCase{0, 5, L::SingleItem, {{1, "Title 1"}}},
                      LayoutCase{0, 0, L::SingleItem, {{1, ""}}},
                      LayoutCase{1, 2, L::TwoItems, {{21, "Title 1"}, {22, "Title 2"}}},
                      LayoutCase{1, 1, L::TwoItems, {{21, "Title 1"}, {22, ""}}},
                      LayoutCase{2, 3, L::ThreeItems, {{31, "Title 1"}, {32, "Title 2"}, {33, "Title 3"}}},
                      LayoutCase{2, 2, L::ThreeItems, {{31, "Title 1"}, {32, "Title 2"}, {33, ""}}},
                      LayoutCase{4, 5, L::ThreeItems, {{31, "Title 1"}, {32, "Title 2"}, {33, "Title 3"}}},
                      LayoutCase{7, 5, L::ThreeItems, {{31, "Title 1"}, {32, "Title 2"}, {33, "Title 3"}}}));

TEST(PageContent, ClosingTextIsTheLocalisedMessageContent)
{
    TestEnv env;
    uitest::useLanguage(env.host, QStringLiteral("en-US"));
    QSPageController page;
    page.setIndex(2);
    page.loadViewIfNeeded();
    EXPECT_EQ(page.content().string(), platform::localizedString("MessageContent"));
    EXPECT_NE(page.content().string(), QStringLiteral("MessageContent"));
    EXPECT_EQ(page.content().runs().first().color, QColor(0x6C, 0x70, 0x78));
    EXPECT_EQ(page.contentTextView()->attributedText().string(), page.content().string());
}

TEST(PageContent, DescriptionsAreNeverReadAsMarkup)
{
    TestEnv env;
    QSPageController page;
    page.setPages({QSPageObject{QStringLiteral("<b>T</b>"), QStringLiteral("<img src=x>&amp;"), QUrl()}});
    page.loadViewIfNeeded();
    EXPECT_EQ(page.itemSlot(1).title->text(), QStringLiteral("<b>T</b>"));
    EXPECT_EQ(page.itemSlot(1).title->textFormat(), Qt::PlainText);
    EXPECT_TRUE(page.itemSlot(1).description->text().contains(QLatin1String("&lt;img src=x&gt;&amp;amp;")));
}

TEST(PageImages, ArriveAsynchronouslyAndAFailedOneLeavesItsSlotEmpty)
{
    TestEnv env;
    QImage picture(40, 30, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    const QString good = env.path(QStringLiteral("page1.png"));
    ASSERT_TRUE(picture.save(good));
    QFile junk(env.path(QStringLiteral("junk.png")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not an image");
    junk.close();

    QSPageController page;
    page.setIndex(2);
    page.setPages({QSPageObject{QStringLiteral("A"), QStringLiteral("a"), QUrl::fromLocalFile(good)},
                   QSPageObject{QStringLiteral("B"), QStringLiteral("b"), QUrl::fromLocalFile(junk.fileName())},
                   QSPageObject{QStringLiteral("C"), QStringLiteral("c"), QUrl(QStringLiteral("http://127.0.0.1:1/page3.png"))}});
    QSignalSpy finished(&page, &QSPageController::imageLoadFinished);
    page.loadViewIfNeeded();
    // Texts are there before any picture.
    EXPECT_EQ(page.itemSlot(33).title->text(), QStringLiteral("C"));
    EXPECT_FALSE(page.itemSlot(31).image->hasImage());

    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 3; }, 10000));
    EXPECT_TRUE(page.itemSlot(31).image->hasImage());
    EXPECT_EQ(page.itemSlot(31).image->image().size(), QSizeF(40, 30));
    EXPECT_FALSE(page.itemSlot(32).image->hasImage());
    EXPECT_FALSE(page.itemSlot(33).image->hasImage());
    for (const QString &line : env.consoleLines)
        EXPECT_FALSE(line.startsWith(QLatin1String("Exception"))) << line.toStdString();
}

// Counts the wheel events that reach it.
class WheelCounter : public QWidget {
public:
    int wheels = 0;

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        ++wheels;
        event->accept();
    }
};

TEST(PageScrolling, WheelEventsStopAtThePage)
{
    TestEnv env;
    WheelCounter carousel;
    auto *layout = new QVBoxLayout(&carousel);
    auto *page = new QSPageController(&carousel);
    page->setPages(items(1));
    layout->addWidget(page);
    carousel.resize(1000, 420);
    carousel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&carousel));

    QLabel *title = page->itemSlot(1).title;
    const QPointF local = QRectF(title->rect()).center();
    QWheelEvent wheel(local, title->mapToGlobal(local), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(title, &wheel);
    EXPECT_EQ(carousel.wheels, 0);
}

}  // namespace
