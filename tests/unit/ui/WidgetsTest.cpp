#include "TestEnv.h"
#include "UiTestSupport.h"

#include "ui/QSFonts.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSButton.h"

#include <QTest>

TEST(QSButton, DimsItsBackgroundWhileHeldAndRestoresItAfter)
{
    QSButton button;
    button.setLayerBackgroundColor(QColor(0x2F, 0x30, 0x34));
    button.resize(160, 40);
    button.show();
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(80, 20));
    EXPECT_NEAR(button.layerBackgroundColor().alphaF(), 0.7, 0.01);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(80, 20));
    EXPECT_EQ(button.layerBackgroundColor(), QColor(0x2F, 0x30, 0x34));
}

TEST(HyperlinkTextField, AWrappedLinkOpensItsOwnUrlAndPlainTextOpensNothing)
{
    TestEnv env;
    const QFont font = QSFonts::font(QStringLiteral("CommonSans-Regular"), 16);
    const QUrl terms(QStringLiteral("https://terms.example/"));
    QSAttributedString text;
    text.appendPlain(QStringLiteral("Read"), font, Qt::black);
    text.appendLink(QStringLiteral(" the terms of service that apply to every installation"), terms, font, Qt::black,
                    Qt::black);
    HyperlinkTextField field;
    field.setAttributedText(text);
    field.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    field.setFixedWidth(180);
    field.setFixedHeight(field.heightForWidth(180));
    field.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&field));
    const int lineHeight = QFontMetrics(font).lineSpacing();
    ASSERT_GE(field.height(), 2 * lineHeight) << "the link must wrap for this test";

    QTest::mouseClick(&field, Qt::LeftButton, {}, QPoint(5, lineHeight / 2));  // on "Read"
    EXPECT_TRUE(env.host.openedUrls.isEmpty());
    QTest::mouseClick(&field, Qt::LeftButton, {}, QPoint(10, lineHeight + lineHeight / 2));
    EXPECT_EQ(env.host.openedUrls, QList<QUrl>{terms});
}
