// The main window's rules that only its own process sees: the quit confirmation, the failure
// screen's end, the privacy address; the licence document and the texts of every language. (What
// a person meets by keyboard, screen reader and window manager, the pages the links open and the
// licence window: e2e.window, e2e.accessibility, e2e.second_instance.)

#include "TestEnv.h"
#include "UiTestSupport.h"

#include "engine/QSInstallFlow.h"
#include "ui/QSAlertController.h"
#include "ui/QSEula.h"
#include "ui/QSLinkTexts.h"
#include "ui/QSMainController.h"
#include "ui/widgets/QSButton.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QWindow>
#include <QtTest/qtestspontaneevent.h>

namespace {

class MainControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        uitest::useLanguage(env.host, QStringLiteral("en-US"));
        window = std::make_unique<QSMainController>(QStringList{QStringLiteral("/app/TinyInstaller")});
        window->flow().setTerminate([this] { ++terminations; });
        window->resize(1000, 640);
        window->show();
        ASSERT_TRUE(activated(window.get()));
    }
    // The confirmation is a tool window: Qt counts it active while its owner is, so wait for the
    // application's own active window instead.
    static bool activated(QWidget *window)
    {
        window->activateWindow();
        return QTest::qWaitFor([window] { return QApplication::activeWindow() == window; });
    }
    // Presses a key where the keyboard focus is; Tab until the focus is on target.
    static void press(Qt::Key key) { QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow(), key); }
    static bool tabTo(QWidget *target)
    {
        for (int i = 0; i < 20 && QApplication::focusWidget() != target; ++i)
            press(Qt::Key_Tab);
        return QApplication::focusWidget() == target;
    }

    TestEnv env;
    std::unique_ptr<QSMainController> window;
    int terminations = 0;
};

}  // namespace

// The confirmation is never stacked and starts on No (a Return pressed without looking keeps the
// installer); every other way of closing it answers No; only Exit chosen ends the run, as the
// person's own action.
TEST_F(MainControllerTest, QuitConfirmationStartsOnNoIsNeverStackedAndOnlyExitChosenQuits)
{
    uitest::PostRecorder posts({QStringLiteral("QUIT_INSTALLATION"), QStringLiteral("HIDE_ALERT")});
    press(Qt::Key_Escape);  // asks to quit, as the close control does
    QSAlertController *first = window->alert();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(first));
    EXPECT_EQ(first->windowHandle()->transientParent(), window->windowHandle());
    EXPECT_LE((first->frameGeometry().center() - window->frameGeometry().center()).manhattanLength(), 2);
    EXPECT_EQ(window->primaryButton(), nullptr) << "Return must not reach the window behind the confirmation";
    window->onCloseTap();
    EXPECT_EQ(window->alert(), first);
    window->onInstallTap();  // does nothing while the confirmation is open
    EXPECT_TRUE(window->element("installView")->isVisibleTo(window.get()));

    ASSERT_TRUE(activated(first));
    EXPECT_EQ(QApplication::focusWidget(), first->noButton());
    EXPECT_TRUE(first->noButton()->focusRingShown()) << "nothing shows what Return answers";
    press(Qt::Key_Return);
    EXPECT_EQ(window->alert(), nullptr);
    QCloseEvent close;  // the window's close asks as the close control does
    QCoreApplication::sendEvent(window.get(), &close);
    EXPECT_FALSE(close.isAccepted());
    ASSERT_NE(window->alert(), nullptr);
    QCloseEvent fromWindowSystem;
    QSpontaneKeyEvent::setSpontaneous(&fromWindowSystem);
    QCoreApplication::instance()->notify(window->alert(), &fromWindowSystem);
    EXPECT_FALSE(fromWindowSystem.isAccepted());
    EXPECT_EQ(window->alert(), nullptr);
    ASSERT_EQ(posts.posts.size(), 2);
    for (const platform::Notification &post : posts.posts)
        EXPECT_TRUE(post.name == "HIDE_ALERT" && !post.object.isValid());
    EXPECT_EQ(terminations, 0);

    // Once the product is placed, nothing is under way: the message says so.
    window->updateLauchButtons();
    window->onCloseTap();
    ASSERT_NE(window->alert(), nullptr);
    EXPECT_TRUE(window->alert()->message()->text().startsWith(u"The installation is finished.") &&
                window->alert()->message()->text().contains(u"Corvala"))
        << window->alert()->message()->text().toStdString();
    ASSERT_TRUE(activated(window->alert()));
    ASSERT_TRUE(tabTo(window->alert()->yesButton()));
    press(Qt::Key_Return);
    ASSERT_EQ(posts.posts.size(), 3);
    EXPECT_EQ(posts.posts[2].name, QStringLiteral("QUIT_INSTALLATION"));
    EXPECT_TRUE(posts.posts[2].object.toMap().value(QStringLiteral("isUserAction")).toBool());
    EXPECT_EQ(terminations, 1);
}

// After a failure the next quit request ends the installer at once, keeping the run log.
TEST_F(MainControllerTest, AfterAFailureAQuitEndsAtOnce)
{
    uitest::PostRecorder quits({QStringLiteral("QUIT_INSTALLATION")});
    window->showGenericError(QStringLiteral("Download Error"));
    QCloseEvent close;
    QCoreApplication::sendEvent(window.get(), &close);
    ASSERT_EQ(quits.posts.size(), 1);
    EXPECT_TRUE(window->alert() == nullptr && !quits.posts[0].object.isValid() && terminations == 1);
}

TEST(QSLinkTexts, ThePrivacyAddressFollowsAQueryTheBaseAddressAlreadyHas)
{
    TestEnv env;
    const QString ours = QStringLiteral("page=privacypolicy&country=US&language=en&locale=en-US&os=linux");
    const QList<std::pair<QString, QString>> cases = {  // "QSConfigUrl", the address opened
        {"https://www.brightmoor.example/privacy", "https://www.brightmoor.example/privacy?" + ours},
        {"https://www.brightmoor.example/p?brand=qs", "https://www.brightmoor.example/p?brand=qs&" + ours},
        {"https://www.brightmoor.example/p?a=1&b=x%26y", "https://www.brightmoor.example/p?a=1&b=x%26y&" + ours},
    };
    for (const auto &[base, expected] : cases)
        EXPECT_EQ(QSLinkTexts::privacyPolicyUrl(base, "US", "en", "en-US"), QUrl(expected)) << base.toStdString();
}

TEST(LicenceDocument, FollowsTheLanguageTableWithTheEnglishFallbackInItsOwnDirection)
{
    for (const auto &[language, country, document] : {std::tuple{"zh-Hant", "HK", "zh-TW"}, {"zh", "TW", "zh-TW"}, {"zh-Hant-HK", "HK", "zh"}, {"de", "DE", "de"}})
        EXPECT_EQ(QSEula::licenceName(QString::fromLatin1(language), QString::fromLatin1(country)), QString::fromLatin1(document)) << language << ' ' << country;
    // The bundled document, else the English one (no Hebrew licence is bundled); nothing without either.
    const auto bundled = [](const QString &path) { return QFile::exists(path); };
    EXPECT_EQ(QSEula::eulaUrlFor(QStringLiteral("he"), QStringLiteral("IL"), bundled), QUrl("qrc:/licences/en_EULA.html"));
    EXPECT_TRUE(QSEula::eulaUrlFor(QStringLiteral("de"), QStringLiteral("DE"), [](const QString &) { return false; }).isEmpty());

    // Laid out in the document's language, whatever the interface's: the English fallback of a
    // Hebrew reader reads left to right.
    EXPECT_EQ(QSEula::documentDirection(QUrl("qrc:/licences/he_EULA.html")), Qt::RightToLeft);
    TestEnv env;
    env.host.rightToLeft = true;
    uitest::useLanguage(env.host, QStringLiteral("he-IL"));
    const auto restore = qScopeGuard([&] { uitest::useLanguage(env.host, QStringLiteral("en-US")); });
    QSEula hebrewReader;
    ASSERT_EQ(QGuiApplication::layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(hebrewReader.webView()->layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(hebrewReader.webView()->document()->defaultTextOption().textDirection(), Qt::LeftToRight);
}

// Every key of the English table has a text in every language; the texts the code fills with a
// name keep exactly one "%@".
TEST(Translations, EveryKeyHasATextInEveryLanguage)
{
    QFile english(QStringLiteral(TI_TRANSLATIONS_DIR "/installer_en.ts"));
    ASSERT_TRUE(english.open(QIODevice::ReadOnly));
    QStringList keys;
    for (const QRegularExpressionMatch &id : QRegularExpression(QStringLiteral("<message id=\"([^\"]+)\"")).globalMatch(QString::fromUtf8(english.readAll())))
        keys << id.captured(1);
    ASSERT_GT(keys.size(), 40);
    TestEnv env;
    const auto restore = qScopeGuard([&] { uitest::useLanguage(env.host, QStringLiteral("en-US")); });
    for (const char *language : {"en-US", "de-DE", "he-IL"}) {
        uitest::useLanguage(env.host, QString::fromLatin1(language));
        for (const QString &key : keys) {
            const QString text = platform::localizedString(key);
            EXPECT_TRUE(text != key && !text.trimmed().isEmpty()) << language << " lacks " << key.toStdString();
        }
        for (const char *key : {"ContactAdminMessage", "QSAlreadyInstalledMessage", "QSLicenceTextPart2", "QSQuitMessageInstalled"})
            EXPECT_EQ(platform::localizedString(key).count(QLatin1String("%@")), 1) << language << " " << key;
    }
}
