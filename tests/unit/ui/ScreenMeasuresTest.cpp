// Measures of the screens in the languages whose texts stretch them: the welcome screen's licence
// sentence (English, German), and Hebrew on the failure, welcome and downloading screens (every
// letter drawn by a font that has it, each paragraph laid out right to left). Pictures of the
// screens go to <artifacts>/measures/ for people to look at.

#include "TestEnv.h"
#include "UiTestSupport.h"

#include "config/QSConfig.h"
#include "ui/QSCarousel.h"
#include "ui/QSErrorController.h"
#include "ui/QSMainController.h"
#include "ui/QSPageController.h"
#include "ui/widgets/HyperlinkTextField.h"

#include <QAbstractButton>
#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QGlyphRun>
#include <QJsonObject>
#include <QLabel>
#include <QPainter>
#include <QRawFont>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace {

void saveScreen(QWidget &screen, const QString &name)
{
    QImage canvas(screen.size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    screen.render(&painter);
    painter.end();
    const QDir directory(qEnvironmentVariable("TI_ARTIFACTS_DIR", QStringLiteral(TI_BUILD_DIR "/artifacts")) +
                         QStringLiteral("/measures"));
    EXPECT_TRUE(directory.mkpath(".") && canvas.save(directory.filePath(name + ".png")));
}

// The text of a label or button as the widget lays it out: rich text with its own fonts, or plain
// text in the widget's font.
std::unique_ptr<QTextDocument> laidOut(QWidget *widget)
{
    auto document = std::make_unique<QTextDocument>();
    document->setDocumentMargin(0);
    document->setDefaultFont(widget->font());
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        if (label->textFormat() == Qt::RichText || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text())))
            document->setHtml(label->text());
        else
            document->setPlainText(label->text());
    } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        document->setPlainText(button->text());
    }
    document->setTextWidth(widget->width());
    document->size();  // lays it out
    return document;
}

// Characters of the document that the font drawing them has no glyph for: checked on the raw font
// of each glyph run (the font actually used, fallbacks included), and for the empty glyph 0.
QString charactersWithoutGlyph(const QTextDocument &document)
{
    QString missing;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        for (int i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c.isSpace() || c.category() == QChar::Other_Format || c.isSurrogate())
                continue;
            const QList<QGlyphRun> runs = block.layout()->glyphRuns(i, 1);
            bool drawn = !runs.isEmpty();
            for (const QGlyphRun &run : runs) {
                drawn = drawn && run.rawFont().supportsCharacter(c);
                for (const quint32 glyph : run.glyphIndexes())
                    drawn = drawn && glyph != 0;
            }
            if (!drawn && !missing.contains(c))
                missing += c;
        }
    }
    return missing;
}

bool hasHebrew(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.script() == QChar::Script_Hebrew; });
}

// The screen's visible labels and buttons: every Hebrew one is drawn without boxes and reads right
// to left, also when its first word is a Latin one.
void expectHebrewDrawn(QWidget &screen, int &hebrewTexts)
{
    QList<QWidget *> texts;
    for (QLabel *label : screen.findChildren<QLabel *>())
        texts << label;
    for (QAbstractButton *button : screen.findChildren<QAbstractButton *>())
        texts << button;
    for (QWidget *widget : texts) {
        if (!widget->isVisibleTo(&screen))
            continue;
        const auto document = laidOut(widget);
        const QString plain = document->toPlainText();
        if (!hasHebrew(plain))
            continue;
        ++hebrewTexts;
        SCOPED_TRACE(widget->objectName().toStdString() + ": " + plain.toStdString());
        EXPECT_EQ(charactersWithoutGlyph(*document), QString());
        if (!qobject_cast<QAbstractButton *>(widget)) {  // a button's one line is centred either way
            EXPECT_EQ(document->begin().textDirection(), Qt::RightToLeft);
        }
    }
}

QSConfig hebrewPages(TestEnv &env)
{
    QSConfig config;
    const char *const titles[] = {"Corvala במקום אחד", "עובדת גם בלי רשת", "פרטיות מובנית"};
    for (int i = 0; i < 3; ++i) {
        QImage picture(320, 200, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv(250 - 100 * i, 70, 235));
        const QString file = env.path(QStringLiteral("page%1.png").arg(i + 1));
        EXPECT_TRUE(picture.save(file));
        config.screens.append(QJsonObject{{"text1", QString::fromUtf8(titles[i])},
                                          {"text2", QStringLiteral("תיאור קצר של Corvala, בשתי שורות לכל היותר.")},
                                          {"image", QUrl::fromLocalFile(file).toString()}});
    }
    config.infoScreensCount = 3;
    return config;
}

}  // namespace

TEST(ScreenMeasures, LicenceSentenceSits65BelowTheThirdMessageAndFitsIn32)
{
    for (const QString &language : {QStringLiteral("en-US"), QStringLiteral("de-DE")}) {
        SCOPED_TRACE(language.toStdString());
        TestEnv env;
        uitest::useLanguage(env.host, language);
        QSMainController window({QStringLiteral("/app/TinyInstaller")});
        window.resize(1000, 640);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        saveScreen(window, QStringLiteral("welcome_") + language.left(2));

        QWidget *third = window.element("messageThree");
        HyperlinkTextField *sentence = window.licenceTextView();
        const QRect thirdBox(third->mapTo(&window, QPoint()), third->size());
        const QRect box(sentence->mapTo(&window, QPoint()), sentence->size());
        EXPECT_NEAR(box.top() - (thirdBox.bottom() + 1), 65, 4);
        EXPECT_NEAR(box.left(), 80, 4);
        EXPECT_NEAR(window.width() - (box.right() + 1), 80, 4);
        EXPECT_EQ(box.height(), 32);
        // The whole sentence inside those 32: at most two lines, together no taller than the box.
        EXPECT_LE(sentence->heightForWidth(sentence->width()), 32);
        const auto document = laidOut(sentence);
        EXPECT_LE(document->documentLayout()->documentSize().height(), 32.5);
        EXPECT_LE(document->begin().layout()->lineCount(), 2);
        // The Install button stays below the sentence, inside the window.
        QWidget *install = window.element("installButton");
        const QRect installBox(install->mapTo(&window, QPoint()), install->size());
        EXPECT_GT(installBox.top(), box.bottom());
        EXPECT_LE(installBox.bottom(), window.height());
        // The other measured element: the 800-point progress bar, centred.
        QWidget *progress = window.element("progressView");
        EXPECT_EQ(progress->width(), 800);
    }
    TestEnv env;
    uitest::useLanguage(env.host, QStringLiteral("en-US"));
}

TEST(ScreenMeasures, HebrewScreensDrawEveryLetterRightToLeft)
{
    using Arrange = std::function<void(TestEnv &, QSMainController &)>;
    const QList<std::pair<QString, Arrange>> screens = {
        {"welcome_he", [](TestEnv &, QSMainController &) {}},
        {"failure_he", [](TestEnv &, QSMainController &w) { w.showGenericError(QStringLiteral("Download Error")); }},
        {"downloading_he",
         [](TestEnv &env, QSMainController &w) {
             w.carousel().setAdvanceInterval(3600 * 1000);
             w.setupPageController(hebrewPages(env));
             w.showState(QSScreenState::Downloading);
             w.updateProgress(40, platform::localizedString("QSInstalling"));
             w.carousel().moveToNextPage();
             w.carousel().moveToNextPage();  // the third page: three items and the closing text
         }},
        {"finished_he",
         [](TestEnv &env, QSMainController &w) {
             w.carousel().setAdvanceInterval(3600 * 1000);
             w.setupPageController(hebrewPages(env));
             w.showState(QSScreenState::Downloading);
             w.showState(QSScreenState::DownloadDone);
             w.updateLauchButtons();
         }},
    };
    for (const auto &[name, arrange] : screens) {
        SCOPED_TRACE(name.toStdString());
        TestEnv env;
        env.host.rightToLeft = true;
        uitest::useLanguage(env.host, QStringLiteral("he-IL"));
        ASSERT_EQ(QGuiApplication::layoutDirection(), Qt::RightToLeft);
        QSMainController window({QStringLiteral("/app/TinyInstaller")});
        window.resize(1000, 640);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        arrange(env, window);
        QTest::qWait(50);
        int hebrewTexts = 0;
        expectHebrewDrawn(window, hebrewTexts);
        EXPECT_GE(hebrewTexts, 3) << "the screen shows too few Hebrew texts to have been checked";
        saveScreen(window, name);
    }
    TestEnv env;
    uitest::useLanguage(env.host, QStringLiteral("en-US"));
}

TEST(ScreenMeasures, ClosingTextOfTheLaterPagesSpansThePageLess50EachSideAnd64High)
{
    TestEnv env;
    uitest::useLanguage(env.host, QStringLiteral("de-DE"));  // the longest closing text
    QSPageController page;
    page.setIndex(2);
    QList<QSPageObject> items;
    for (const char *title : {"A", "B", "C"})
        items << QSPageObject{QString::fromLatin1(title), QStringLiteral("Eine kurze Beschreibung."), QUrl()};
    page.setPages(items);
    page.resize(1000, 480);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    HyperlinkTextField *closing = page.contentTextView();
    ASSERT_TRUE(closing->isVisible());
    const QRect box(closing->mapTo(&page, QPoint()), closing->size());
    EXPECT_EQ(box.left(), 50);
    EXPECT_EQ(page.width() - (box.right() + 1), 50);
    EXPECT_EQ(box.height(), 64);
    EXPECT_LE(closing->heightForWidth(closing->width()), 64) << "the closing text does not fit its box";
    // It follows the third description without covering its text.
    QLabel *third = page.itemSlot(33).description;
    EXPECT_GE(box.top(), third->mapTo(&page, QPoint()).y() + third->heightForWidth(third->width()));
    saveScreen(page, QStringLiteral("page3_de"));
}
