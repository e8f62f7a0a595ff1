// Every screen rendered into <artifacts>/<name>.png ($TI_ARTIFACTS_DIR, else <build>/artifacts) for
// people to look at, with its texts, links and buttons laid out whole, in the languages whose texts
// stretch them (German), and in Hebrew: every letter drawn by a font that has it, Latin words in
// their text's weight, each paragraph laid out right to left.

#include "TestEnv.h"
#include "UiTestSupport.h"

#include "config/QSConfig.h"
#include "engine/QSInstallFlow.h"
#include "ui/QSCarousel.h"
#include "ui/QSMainController.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSButton.h"

#include <QGlyphRun>
#include <QImage>

#include <cmath>
#include <QJsonObject>
#include <QLabel>
#include <QRawFont>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace {

// The widget's text laid out as the widget lays it out (rich text with its own fonts, or plain text
// in the widget's font), checked on the raw font of each glyph run (the face actually used,
// fallbacks included): characters without a glyph, and Latin letters in another weight than their
// text asks for (a Latin word inside semibold Hebrew text must stay semibold, as it is in English).
struct Drawn { QString text, missing, offWeight; Qt::LayoutDirection direction; };
Drawn drawn(QWidget *widget)
{
    QTextDocument document;
    document.setDocumentMargin(0);
    document.setDefaultFont(widget->font());
    auto *label = qobject_cast<QLabel *>(widget);
    const QString text = label ? label->text() : static_cast<QAbstractButton *>(widget)->text();
    if (label && (label->textFormat() == Qt::RichText || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text))))
        document.setHtml(text);
    else
        document.setPlainText(text);
    document.setTextWidth(widget->width());
    document.size();  // lays it out
    Drawn result{document.toPlainText(), {}, {}, document.begin().textDirection()};
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextCharFormat format = fragment.fragment().charFormat();
            const int asked = format.hasProperty(QTextFormat::FontWeight) ? format.fontWeight() : document.defaultFont().weight();
            const int start = fragment.fragment().position() - block.position();
            // The face the Hebrew letters of the fragment are drawn in, when there are some: the
            // Latin letters among them must not look lighter (the Hebrew faces have no Light).
            QString hebrewFace;
            for (int at = start; at < start + fragment.fragment().length() && hebrewFace.isEmpty(); ++at) {
                const QList<QGlyphRun> runs = block.layout()->glyphRuns(at, 1);
                if (block.text().at(at).script() == QChar::Script_Hebrew && !runs.isEmpty())
                    hebrewFace = runs.first().rawFont().styleName();
            }
            for (int at = start; at < start + fragment.fragment().length(); ++at) {
                const QChar c = block.text().at(at);
                const QList<QGlyphRun> runs = block.layout()->glyphRuns(at, 1);
                bool found = !runs.isEmpty();
                for (const QGlyphRun &run : runs) {
                    found = found && run.rawFont().supportsCharacter(c) && !run.glyphIndexes().contains(0);
                    const bool lighter = !hebrewFace.isEmpty() && hebrewFace != u"Light" && run.rawFont().styleName() == u"Light";
                    if (c.script() == QChar::Script_Latin && (qAbs(run.rawFont().weight() - asked) >= 100 || lighter))
                        result.offWeight += c;
                }
                if (!found && !(c.isSpace() || c.category() == QChar::Other_Format || c.isSurrogate()))
                    result.missing += c;
            }
        }
    }
    return result;
}

// Every visible label and link text is as tall as its text needs, every button as wide; Hebrew
// texts are checked letter by letter and counted.
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
        auto *label = qobject_cast<QLabel *>(widget);
        if (label && !label->text().isEmpty()) {
            EXPECT_GE(label->height(), label->hasHeightForWidth() ? label->heightForWidth(label->width()) : label->sizeHint().height());
            EXPECT_GE(label->width(), qMin(label->minimumSizeHint().width(), label->sizeHint().width()));
        } else if (qobject_cast<QSButton *>(widget)) {
            EXPECT_GE(widget->width(), widget->sizeHint().width());
        }
        const Drawn text = drawn(widget);
        if (std::none_of(text.text.begin(), text.text.end(), [](QChar c) { return c.script() == QChar::Script_Hebrew; }))
            continue;
        ++hebrewTexts;
        EXPECT_EQ(text.missing + text.offWeight, QString()) << text.text.toStdString();
        EXPECT_TRUE(!label || text.direction == Qt::RightToLeft) << text.text.toStdString();  // a button's one line is centred either way
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
    for (int i = 0; i < 3; ++i)
        config.screens.append(QJsonObject{
            {"text1", QString::fromUtf8(env.host.rightToLeft ? hebrew[i] : english[i])},
            {"text2", env.host.rightToLeft ? QStringLiteral("תיאור קצר של Corvala, בשתי שורות לכל היותר.")
                                           : QStringLiteral("A short description of what this part of Corvala does for you, on two lines at most.")}});
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

// WCAG's contrast ratio of two colours (relative luminance of sRGB).
double contrast(QColor a, QColor b)
{
    const auto luminance = [](QColor c) {
        const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// On the picture of the screen: the focus ring's pixels at the middle of the button's leading
// edge against the fill just inside them.
double ringContrast(const QImage &shot, const QWidget &screen, const QSHoverButton &button)
{
    const QPoint middle = button.mapTo(&screen, QPoint(0, button.height() / 2));
    const auto at = [&](qreal x) { return shot.pixelColor(QPointF((middle.x() + x) * shot.devicePixelRatio(), middle.y() * shot.devicePixelRatio()).toPoint()); };
    const qreal ring = QSHoverButton::kRingInset - QSHoverButton::kRingWidth / 4;
    return contrast(at(ring), at(QSHoverButton::kRingInset + QSHoverButton::kRingWidth * 2));
}

}  // namespace

TEST(Screens, EveryScreenIsSavedLaidOutWholeAndHebrewIsDrawnRightToLeft)
{
    using Arrange = std::function<void(TestEnv &, QSMainController &)>;
    const auto page = [](int n) -> Arrange { return [n](TestEnv &env, QSMainController &w) { downloading(env, w, n); }; };
    const Arrange none = [](TestEnv &, QSMainController &) {};
    const Arrange failing = [](TestEnv &, QSMainController &w) { w.flow().setConfigLoader([](auto done) { done(nullptr, std::nullopt); }); };
    // name (its end the language: "_de" German, "_he" Hebrew), what happens on the welcome screen, whether Install is pressed then
    // The English screens a run reaches are pictured by the end-to-end tests; these are the others.
    const QList<std::tuple<QString, Arrange, bool>> cases = {
        {"downloading_page2", page(2), false},
        {"error_no_internet", [](TestEnv &env, QSMainController &) { env.host.reachability = {}; }, true},
        {"error_no_space", [](TestEnv &env, QSMainController &) { env.host.space = {true, 0, {}}; }, true},
        {"welcome_de", none, false},               // the longest licence sentence
        {"downloading_page3_de", page(3), false},  // the longest closing text
        {"error_installation_failed_de", failing, true},
        {"welcome_he", none, false},
        {"error_installation_failed_he", failing, true},
        {"downloading_page3_he", page(3), false},  // three items and the closing text
        {"finished_he", page(4), false},
        {"quit_confirmation_he", [](TestEnv &, QSMainController &w) { w.onCloseTap(); }, false},
        {"quit_confirmation_installed_de", [](TestEnv &env, QSMainController &w) { downloading(env, w, 4), w.onCloseTap(); }, false},
    };
    for (const auto &[name, arrange, pressInstall] : cases) {
        SCOPED_TRACE(name.toStdString());
        TestEnv env;
        env.host.rightToLeft = name.endsWith(u"_he");
        uitest::useLanguage(env.host, env.host.rightToLeft ? QStringLiteral("he-IL") : name.endsWith(u"_de") ? QStringLiteral("de-DE") : QStringLiteral("en-US"));
        QSMainController window({QStringLiteral("/app/TinyInstaller")});
        window.flow().setTerminate([] {});
        window.resize(1000, 640);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        arrange(env, window);
        if (pressInstall)
            window.onInstallTap();
        QTest::qWait(50);  // the layouts settle

        QWidget *screen = window.alert() ? static_cast<QWidget *>(window.alert()) : &window;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(screen));
        EXPECT_EQ(window.element("errorView")->isVisible(), name.startsWith(u"error_"));
        const int hebrewTexts = expectLaidOutWhole(screen);
        if (env.host.rightToLeft) {
            EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::RightToLeft);
            EXPECT_GE(hebrewTexts, 3) << "the screen shows too few Hebrew texts to have been checked";
        }
        const QImage shot = uitest::saveScreen(*screen, name);
        // Where a screen starts on a button, the ring shows it from the start, plainly (WCAG 1.4.11: 3:1).
        if (!name.startsWith(u"downloading_page")) {
            auto *focused = qobject_cast<QSHoverButton *>(screen->focusWidget());
            ASSERT_TRUE(focused && focused->isVisible() && focused->focusRingShown());
            EXPECT_GE(ringContrast(shot, *screen, *focused), 3.0) << focused->objectName().toStdString();
        }
    }
    TestEnv env;
    uitest::useLanguage(env.host, QStringLiteral("en-US"));
}
