// Every screen rendered into <artifacts>/<name>.png ($TI_ARTIFACTS_DIR, else <build>/artifacts) for
// people to look at, with its texts and buttons laid out unclipped; the measures of the screens in
// the languages whose texts stretch them: the welcome screen's licence sentence (English, German),
// and Hebrew on the welcome, failure, downloading and finished screens (every letter drawn by a
// font that has it, each paragraph laid out right to left).

#include "TestEnv.h"
#include "TestHttpServer.h"
#include "UiTestSupport.h"

#include "config/QSConfig.h"
#include "engine/QSInstallFlow.h"
#include "ui/QSCarousel.h"
#include "ui/QSErrorController.h"
#include "ui/QSMainController.h"
#include "ui/QSPageController.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSButton.h"
#include "ui/widgets/QSImageView.h"

#include <QAbstractButton>
#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QGlyphRun>
#include <QJsonObject>
#include <QLabel>
#include <QRawFont>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace {

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

// Latin letters drawn in another weight than their text asks for: read from the raw font of each
// glyph run (the face actually used), against the weight of the run's character format. A Latin
// word inside semibold Hebrew text must stay semibold, as it is in English.
QString latinLettersOffWeight(const QTextDocument &document)
{
    QString off;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextFragment piece = fragment.fragment();
            const int asked = piece.charFormat().hasProperty(QTextFormat::FontWeight) ? piece.charFormat().fontWeight()
                                                                                       : document.defaultFont().weight();
            for (int i = 0; i < piece.length(); ++i) {
                const int at = piece.position() - block.position() + i;
                if (block.text().at(at).script() != QChar::Script_Latin)
                    continue;
                for (const QGlyphRun &run : block.layout()->glyphRuns(at, 1)) {
                    if (qAbs(run.rawFont().weight() - asked) >= 100)
                        off += block.text().at(at);
                }
            }
        }
    }
    return off;
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
        EXPECT_EQ(latinLettersOffWeight(*document), QString());
        if (!qobject_cast<QAbstractButton *>(widget)) {  // a button's one line is centred either way
            EXPECT_EQ(document->begin().textDirection(), Qt::RightToLeft);
        }
    }
}

void expectUnclipped(QWidget *screen)
{
    for (QLabel *label : screen->findChildren<QLabel *>()) {
        if (!label->isVisible() || label->text().isEmpty())
            continue;
        const int needed = label->hasHeightForWidth() ? label->heightForWidth(label->width()) : label->sizeHint().height();
        EXPECT_GE(label->height(), needed) << label->objectName().toStdString();
        EXPECT_GE(label->width(), qMin(label->minimumSizeHint().width(), label->sizeHint().width()))
            << label->objectName().toStdString();
    }
    for (QSButton *button : screen->findChildren<QSButton *>())
        EXPECT_TRUE(!button->isVisible() || button->width() >= button->sizeHint().width()) << button->objectName().toStdString();
}

// The downloading screen at 40 % with the carousel turned to `page` (1 to 3) and its pictures in;
// page 4: the third page, then the finished state. Right to left, the titles are Hebrew ones, the
// first starting with a Latin word.
void downloading(TestEnv &env, QSMainController &window, int page)
{
    // Pictures come from the web only: a server on 127.0.0.1 hands them out while they load here.
    TestHttpServer server;
    QSConfig config;
    const char *const english[] = {"Everything in one place", "Works offline", "Private by design"};
    const char *const hebrew[] = {"Corvala במקום אחד", "עובדת גם בלי רשת", "פרטיות מובנית"};
    const bool rightToLeft = env.host.rightToLeft;
    for (int i = 0; i < 3; ++i) {
        const QByteArray path = "/page" + QByteArray::number(i + 1) + ".png";
        server.answer(path, {200, {}, uitest::pngOf({640, 400}, QColor::fromHsv(250 - 100 * i, 70, 235))});
        config.screens.append(QJsonObject{
            {"text1", QString::fromUtf8(rightToLeft ? hebrew[i] : english[i])},
            {"text2", rightToLeft ? QStringLiteral("תיאור קצר של Corvala, בשתי שורות לכל היותר.")
                                  : QStringLiteral("A short description of what this part of Corvala does for you, on two lines at most.")},
            {"image", server.url(QString::fromLatin1(path)).toString()}});
    }
    config.infoScreensCount = 3;
    window.carousel().setAdvanceInterval(3600 * 1000);  // the test turns the pages
    window.setupPageController(config);
    window.showState(QSScreenState::Downloading);
    window.updateProgress(40, platform::localizedString("QSInstalling"));
    for (int i = 1; i < qMin(page, 3); ++i)
        window.carousel().moveToNextPage();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        for (QSImageView *image : window.carousel().currentPage()->findChildren<QSImageView *>()) {
            if (image->objectName().startsWith(QLatin1String("imageView")) && image->isVisible() && !image->hasImage())
                return false;
        }
        return true;
    }, 5000)) << "pictures of page " << page;
    if (page == 4) {
        window.showState(QSScreenState::DownloadDone);
        window.updateLauchButtons();
    }
}

using Arrange = std::function<void(TestEnv &, QSMainController &)>;

}  // namespace

TEST(Screens, EveryScreenIsSavedUnclippedAndHebrewIsDrawnRightToLeft)
{
    const auto page = [](int n) -> Arrange { return [n](TestEnv &env, QSMainController &w) { downloading(env, w, n); }; };
    const Arrange none = [](TestEnv &, QSMainController &) {};
    const Arrange failing = [](TestEnv &, QSMainController &w) { w.flow().setConfigLoader([](auto done) { done(nullptr, std::nullopt); }); };
    // name ("_he": Hebrew, right to left), what happens on the welcome screen, whether Install is pressed then
    const QList<std::tuple<QString, Arrange, bool>> cases = {
        {"welcome", none, false},
        {"connecting", [](TestEnv &, QSMainController &w) { w.flow().setConfigLoader([](auto) {}); }, true},
        {"downloading_page1", page(1), false},
        {"downloading_page2", page(2), false},
        {"downloading_page3", page(3), false},
        {"finished", page(4), false},
        {"error_no_internet", [](TestEnv &env, QSMainController &) { env.host.reachability = {}; }, true},
        {"error_already_installed",
         [](TestEnv &env, QSMainController &) {
             QDir().mkpath(env.host.applications + "/Corvala.app/Contents");
             QFile plist(env.host.applications + "/Corvala.app/Contents/Info.plist");
             ASSERT_TRUE(plist.open(QIODevice::WriteOnly) &&
                         plist.write("<plist><dict><key>CFBundleShortVersionString</key><string>2.0.1</string></dict></plist>") > 0);
         },
         true},
        {"error_os_not_compatible", [](TestEnv &env, QSMainController &) { env.host.minimumOs = "99.0"; }, true},
        {"error_no_space", [](TestEnv &env, QSMainController &) { env.host.space = {true, 0, {}}; }, true},
        {"error_installation_failed", failing, true},
        {"quit_confirmation", [](TestEnv &, QSMainController &w) { w.onCloseTap(); }, false},
        {"licence", [](TestEnv &, QSMainController &w) { w.licenseAgreementClick(); }, false},
        {"welcome_he", none, false},
        {"error_installation_failed_he", failing, true},
        {"downloading_page3_he", page(3), false},  // three items and the closing text
        {"finished_he", page(4), false},
    };
    for (const auto &[name, arrange, pressInstall] : cases) {
        SCOPED_TRACE(name.toStdString());
        TestEnv env;
        env.host.rightToLeft = name.endsWith(QLatin1String("_he"));
        uitest::useLanguage(env.host, env.host.rightToLeft ? QStringLiteral("he-IL") : QStringLiteral("en-US"));
        QSMainController window({QStringLiteral("/app/TinyInstaller")});
        window.flow().setTerminate([] {});
        window.resize(1000, 640);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        arrange(env, window);
        if (pressInstall)
            window.onInstallTap();

        QWidget *screen = window.alert() ? static_cast<QWidget *>(window.alert())
                          : window.eula() ? static_cast<QWidget *>(window.eula())
                                          : &window;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(screen));
        EXPECT_EQ(window.element("errorView")->isVisible(), name.startsWith(QLatin1String("error_")));
        expectUnclipped(screen);
        if (env.host.rightToLeft) {
            EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::RightToLeft);
            int hebrewTexts = 0;
            expectHebrewDrawn(*screen, hebrewTexts);
            EXPECT_GE(hebrewTexts, 3) << "the screen shows too few Hebrew texts to have been checked";
        }
        uitest::saveScreen(*screen, name);
    }
    TestEnv env;
    uitest::useLanguage(env.host, QStringLiteral("en-US"));
}

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
        uitest::saveScreen(window, QStringLiteral("welcome_") + language.left(2));

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
    uitest::saveScreen(page, QStringLiteral("page3_de"));
}
