#include "TestEnv.h"

#include "ui/QSFonts.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSButton.h"
#include "ui/widgets/QSClickableTextField.h"

#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

// Counts the presses that reach a widget.
class PressCounter : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        ++presses;
        event->accept();
    }
};

TEST(QSButton, DimsBackgroundAndBorderWhileHeldAndRestoresThemAfter)
{
    QSButton button;
    button.setText(QStringLiteral("Install"));
    button.setLayerBackgroundColor(QColor(0x2F, 0x30, 0x34));
    button.setLayerBorderColor(QColor(10, 20, 30, 128));
    button.setLayerBorderWidth(1);
    button.resize(160, 40);
    button.show();
    QSignalSpy clicks(&button, &QPushButton::clicked);

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(80, 20));
    EXPECT_TRUE(button.isShowingPressedLook());
    EXPECT_EQ(button.layerBackgroundColor().rgb(), QColor(0x2F, 0x30, 0x34).rgb());
    EXPECT_NEAR(button.layerBackgroundColor().alphaF(), 0.7, 0.01);
    // The alpha is replaced, not multiplied.
    EXPECT_NEAR(button.layerBorderColor().alphaF(), 0.7, 0.01);

    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(80, 20));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_FALSE(button.isShowingPressedLook());
    EXPECT_EQ(button.layerBackgroundColor(), QColor(0x2F, 0x30, 0x34));
    EXPECT_EQ(button.layerBorderColor(), QColor(10, 20, 30, 128));
}

TEST(QSButton, HidingAHeldButtonRestoresItsLook)
{
    QSButton button;
    button.setLayerBackgroundColor(Qt::white);
    button.resize(160, 40);
    button.show();
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(80, 20));
    button.hide();
    EXPECT_EQ(button.layerBackgroundColor(), QColor(Qt::white));
}

class HyperlinkField : public ::testing::Test {
protected:
    HyperlinkField()
    {
        text.appendPlain(QStringLiteral("Read"), font, Qt::black);
        text.appendLink(QStringLiteral(" the terms of service that apply to every installation"),
                        QUrl(QStringLiteral("https://terms.example/")), font, Qt::black, Qt::black);
        field.setAttributedText(text);
        field.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    TestEnv env;
    QFont font = QSFonts::font(QStringLiteral("CommonSans-Regular"), 16);
    QSAttributedString text;
    HyperlinkTextField field;
};

TEST_F(HyperlinkField, ClickOnTheSecondLineOfAWrappedLinkOpensIt)
{
    field.setFixedWidth(180);
    field.setFixedHeight(field.heightForWidth(180));
    field.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&field));
    const int lineHeight = QFontMetrics(font).lineSpacing();
    ASSERT_GE(field.height(), 2 * lineHeight) << "the link must wrap for this test";

    QTest::mouseClick(&field, Qt::LeftButton, {}, QPoint(10, lineHeight + lineHeight / 2));
    ASSERT_EQ(env.host.openedUrls.size(), 1);
    EXPECT_EQ(env.host.openedUrls.first(), QUrl(QStringLiteral("https://terms.example/")));
}

TEST_F(HyperlinkField, ClickOnPlainTextOpensNothing)
{
    field.setFixedWidth(600);
    field.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&field));
    QTest::mouseClick(&field, Qt::LeftButton, {}, QPoint(5, QFontMetrics(font).lineSpacing() / 2));
    EXPECT_TRUE(env.host.openedUrls.isEmpty());
}

TEST_F(HyperlinkField, MaxPointYLiftsClicksBelowItOntoTheText)
{
    field.setFixedSize(600, 90);
    field.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&field));
    const QPoint belowTheLine(200, 80);  // on the link's column, under the only line

    QTest::mouseClick(&field, Qt::LeftButton, {}, belowTheLine);
    EXPECT_TRUE(env.host.openedUrls.isEmpty());

    field.setMaxPointY(10);
    QTest::mouseClick(&field, Qt::LeftButton, {}, belowTheLine);
    EXPECT_EQ(env.host.openedUrls.size(), 1);
}

TEST_F(HyperlinkField, ListsItsLinkRunsWithTheirRanges)
{
    const auto links = field.hyperlinks();
    ASSERT_EQ(links.size(), 1);
    EXPECT_EQ(links.first().start, 4);
    EXPECT_EQ(links.first().url, QUrl(QStringLiteral("https://terms.example/")));
    field.setPlainText(QStringLiteral("<a href='x'>not a link</a>"));
    EXPECT_TRUE(field.hyperlinks().isEmpty());
    EXPECT_EQ(field.textFormat(), Qt::PlainText);
}

TEST(QSClickableTextField, SwallowsClicksWithoutSelectionOrFocus)
{
    PressCounter parent;
    auto *layout = new QVBoxLayout(&parent);
    auto *field = new QSClickableTextField(&parent);
    field->setText(QStringLiteral("Privacy"));
    layout->addWidget(field);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));

    QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseDClick(field, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(parent.presses, 0);
    EXPECT_FALSE(field->hasFocus());
    EXPECT_TRUE(field->selectedText().isEmpty());
    EXPECT_EQ(field->cursor().shape(), Qt::PointingHandCursor);
}

}  // namespace
