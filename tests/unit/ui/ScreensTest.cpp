// Every screen rendered into <artifacts>/<name>.png ($TI_ARTIFACTS_DIR, else <build>/artifacts) for
// people to look at, with its texts, links and buttons laid out unclipped, in the languages whose
// texts stretch them (German), and in Hebrew: every letter drawn by a font that has it, Latin
// words in their text's weight, each paragraph laid out right to left.

#include "TestEnv.h"
#include "UiTestSupport.h"

#include "config/QSConfig.h"
#include "engine/QSInstallFlow.h"
#include "ui/QSCarousel.h"
#include "ui/QSMainController.h"
#include "ui/QSPageController.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSButton.h"

#include <QAbstractButton>
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
    auto *label = qobject_cast<QLabel *>(widget);
    const QString text = label ? label->text() : static_cast<QAbstractButton *>(widget)->text();
    if (label && (label->textFormat() == Qt::RichText || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text))))
        document->setHtml(text);
    else
        document->setPlainText(text);
    document->setTextWidth(widget->width());
    document->size();  // lays it out
    return document;
}

// Characters without a glyph in the font that draws them (the raw font of each glyph run, fallbacks
// included, and the empty glyph 0), and Latin letters drawn in another weight than their text asks
// for: a Latin word inside semibold Hebrew text must stay semibold, as it is in English.
std::pair<QString, QString> missingAndOffWeight(const QTextDocument &document)
{
    QString missing, off;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextFragment piece = fragment.fragment();
            const int asked = piece.charFormat().hasProperty(QTextFormat::FontWeight) ? piece.charFormat().fontWeight()
                                                                                       : document.defaultFont().weight();
            for (int at = piece.position() - block.position(); at < piece.position() - block.position() + piece.length(); ++at) {
                const QChar c = block.text().at(at);
                if (c.isSpace() || c.category() == QChar::Other_Format || c.isSurrogate())
                    continue;
                const QList<QGlyphRun> runs = block.layout()->glyphRuns(at, 1);
                bool drawn = !runs.isEmpty();
                for (const QGlyphRun &run : runs) {
                    drawn = drawn && run.rawFont().supportsCharacter(c) && !run.glyphIndexes().contains(0);
                    if (c.script() == QChar::Script_Latin && qAbs(run.rawFont().weight() - asked) >= 100)
                        off += c;
                }
                if (!drawn && !missing.contains(c))
                    missing += c;
            }
        }
    }
    return {missing, off};
}

// Every visible label and link text is as tall as its text needs, every button as wide; Hebrew
// ones are checked letter by letter and counted.
int expectLaidOutWhole(QWidget *screen)
{
    int hebrewTexts = 0;
    QList<QWidget *> texts;
    for (QLabel *label : screen->findChildren<QLabel *>())
        texts << label;
    for (QAbstractButton *button : screen->findChildren<QAbstractButton *>())
        texts << button;
    for (QWidget *widget : texts) {
        if (!widget->isVisible())
            continue;
        SCOPED_TRACE(widget->objectName().toStdString());
        if (auto *label = qobject_cast<QLabel *>(widget); label && !label->text().isEmpty()) {
            EXPECT_GE(label->height(), label->hasHeightForWidth() ? label->heightForWidth(label->width()) : label->sizeHint().height());
            EXPECT_GE(label->width(), qMin(label->minimumSizeHint().width(), label->sizeHint().width()));
        }
        if (qobject_cast<QSButton *>(widget)) {
            EXPECT_GE(widget->width(), widget->sizeHint().width());
        }
        const auto document = laidOut(widget);
        const QString plain = document->toPlainText();
        if (std::none_of(plain.begin(), plain.end(), [](QChar c) { return c.script() == QChar::Script_Hebrew; }))
            continue;
        ++hebrewTexts;
        SCOPED_TRACE(plain.toStdString());
        EXPECT_EQ(missingAndOffWeight(*document), std::pair(QString(), QString()));
        if (!qobject_cast<QAbstractButton *>(widget)) {  // a button's one line is centred either way
            EXPECT_EQ(document->begin().textDirection(), Qt::RightToLeft);
        }
    }
    for (HyperlinkTextField *field : screen->findChildren<HyperlinkTextField *>())
        EXPECT_TRUE(!field->isVisible() || field->heightForWidth(field->width()) <= field->height()) << field->objectName().toStdString();
    return hebrewTexts;
}

// The downloading screen at 40 % with the carousel turned to `page` (1 to 3); page 4: the third
// page, then the finished state. Right to left, the titles are Hebrew, the first starting with a
// Latin word.
void downloading(TestEnv &env, QSMainController &window, int page)
{
    QSConfig config;
    const char *const english[] = {"Everything in one place", "Works offline", "Private by design"};
    const char *const hebrew[] = {"Corvala במקום אחד", "עובדת גם בלי רשת", "פרטיות מובנית"};
    const bool rightToLeft = env.host.rightToLeft;
    for (int i = 0; i < 3; ++i)
        config.screens.append(QJsonObject{
            {"text1", QString::fromUtf8(rightToLeft ? hebrew[i] : english[i])},
            {"text2", rightToLeft ? QStringLiteral("תיאור קצר של Corvala, בשתי שורות לכל היותר.")
                                  : QStringLiteral("A short description of what this part of Corvala does for you, on two lines at most.")},
            {"image", ""}});
    config.infoScreensCount = 3;
    window.carousel().setAdvanceInterval(3600 * 1000);  // the test turns the pages
    window.setupPageController(config);
    window.showState(QSScreenState::Downloading);
    window.updateProgress(40, platform::localizedString("QSInstalling"));
    for (int i = 1; i < qMin(page, 3); ++i)
        window.carousel().moveToNextPage();
    if (page == 4) {
        window.showState(QSScreenState::DownloadDone);
        window.updateLauchButtons();
    }
}

using Arrange = std::function<void(TestEnv &, QSMainController &)>;

}  // namespace

TEST(Screens, EveryScreenIsSavedLaidOutWholeAndHebrewIsDrawnRightToLeft)
{
    const auto page = [](int n) -> Arrange { return [n](TestEnv &env, QSMainController &w) { downloading(env, w, n); }; };
    const Arrange none = [](TestEnv &, QSMainController &) {};
    const Arrange failing = [](TestEnv &, QSMainController &w) { w.flow().setConfigLoader([](auto done) { done(nullptr, std::nullopt); }); };
    // name (its end the language: "_de" German, "_he" Hebrew), what happens on the welcome screen, whether Install is pressed then
    const QList<std::tuple<QString, Arrange, bool>> cases = {
        {"welcome", none, false},
        {"connecting", [](TestEnv &, QSMainController &w) { w.flow().setConfigLoader([](auto) {}); }, true},
        {"downloading_page1", page(1), false},
        {"downloading_page2", page(2), false},
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
        {"welcome_de", none, false},  // the longest licence sentence
        {"downloading_page3_de", page(3), false},  // the longest closing text
        {"welcome_he", none, false},
        {"error_installation_failed_he", failing, true},
        {"downloading_page3_he", page(3), false},  // three items and the closing text
        {"finished_he", page(4), false},
    };
    for (const auto &[name, arrange, pressInstall] : cases) {
        SCOPED_TRACE(name.toStdString());
        TestEnv env;
        env.host.rightToLeft = name.endsWith(QLatin1String("_he"));
        uitest::useLanguage(env.host, env.host.rightToLeft            ? QStringLiteral("he-IL")
                                      : name.endsWith(QLatin1String("_de")) ? QStringLiteral("de-DE")
                                                                            : QStringLiteral("en-US"));
        QSMainController window({QStringLiteral("/app/TinyInstaller")});
        window.flow().setTerminate([] {});
        window.resize(1000, 640);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        arrange(env, window);
        if (pressInstall)
            window.onInstallTap();
        QTest::qWait(50);  // the layouts settle

        QWidget *screen = window.alert() ? static_cast<QWidget *>(window.alert())
                          : window.eula() ? static_cast<QWidget *>(window.eula())
                                          : &window;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(screen));
        EXPECT_EQ(window.element("errorView")->isVisible(), name.startsWith(QLatin1String("error_")));
        const int hebrewTexts = expectLaidOutWhole(screen);
        if (env.host.rightToLeft) {
            EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::RightToLeft);
            EXPECT_GE(hebrewTexts, 3) << "the screen shows too few Hebrew texts to have been checked";
        }
        uitest::saveScreen(*screen, name);
    }
    TestEnv env;
    uitest::useLanguage(env.host, QStringLiteral("en-US"));
}
