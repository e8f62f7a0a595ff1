#include "PageImages.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

TEST(PageImages, ServesEveryPageAtOneTwoAndThreeTimesThePointSize)
{
    const demo::PageImages images;
    EXPECT_EQ(images.names().size(), demo::PageImages::kPageCount * 3);

    for (int page = 1; page <= demo::PageImages::kPageCount; ++page) {
        for (int scale = 1; scale <= 3; ++scale) {
            const QString name = scale == 1 ? QStringLiteral("page%1.png").arg(page)
                                            : QStringLiteral("page%1@%2x.png").arg(page).arg(scale);
            const auto png = images.png(name);
            ASSERT_TRUE(png) << qPrintable(name);
            const QImage image = QImage::fromData(*png, "PNG");
            ASSERT_FALSE(image.isNull()) << qPrintable(name);
            EXPECT_EQ(image.size(), demo::PageImages::kPointSize * scale) << qPrintable(name);
        }
    }
}

TEST(PageImages, PagesLookDifferentFromOneAnother)
{
    EXPECT_NE(demo::PageImages::render(1, 1), demo::PageImages::render(2, 1));
    EXPECT_NE(demo::PageImages::render(3, 1), demo::PageImages::render(4, 1));
}

TEST(PageImages, HasNothingForOtherNames)
{
    const demo::PageImages images;
    for (const char *name : {"page0.png", "page5.png", "page1@4x.png", "page1", "../page1.png"})
        EXPECT_FALSE(images.png(QString::fromLatin1(name))) << name;
}

}  // namespace
