// The licence window and the texts: which document a person gets, in which direction it is laid
// out, how the window behaves, and that every key the code looks up has a text in every language.

#include "TestEnv.h"
#include "UiTestSupport.h"

#include "ui/QSEula.h"

#include <QApplication>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>

TEST(LicenceDocument, FollowsTheLanguageTableWithTheEnglishFallbackInItsOwnDirection)
{
    const char *const names[][3] = {
        // language, country, document
        {"zh-Hant", "", "zh-TW"}, {"zh-Hant", "HK", "zh-TW"}, {"zh", "TW", "zh-TW"}, {"zh", "CN", "zh"},
        {"zh-Hant-HK", "HK", "zh"}, {"de", "DE", "de"}, {"en", "TW", "en"},
    };
    for (const auto &c : names)
        EXPECT_EQ(QSEula::licenceName(QString::fromLatin1(c[0]), QString::fromLatin1(c[1])), QString::fromLatin1(c[2]))
            << c[0] << ' ' << c[1];
    // The bundled document, else the English one (no Hebrew licence is bundled); nothing without either.
    const auto bundled = [](const QString &path) { return QFile::exists(path); };
    EXPECT_EQ(QSEula::eulaUrlFor(QStringLiteral("he"), QStringLiteral("IL"), bundled), QUrl("qrc:/licences/en_EULA.html"));
    EXPECT_EQ(QSEula::eulaUrlFor(QString(), QString(), bundled), QUrl("qrc:/licences/en_EULA.html"));
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

TEST(LicenceWindow, ShowsTheUsersDocumentOpensLinksInTheBrowserAndClosesWhenLeft)
{
    TestEnv env;
    env.host.country = QStringLiteral("DE");
    uitest::useLanguage(env.host, QStringLiteral("de-DE"));
    const auto restore = qScopeGuard([&] { uitest::useLanguage(env.host, QStringLiteral("en-US")); });
    QWidget mainWindow;
    mainWindow.show();
    QSEula eula(&mainWindow);
    QSignalSpy closed(&eula, &QSEula::closed);
    eula.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&eula));
    QTextBrowser *browser = eula.webView();
    const QUrl german(QStringLiteral("qrc:/licences/de_EULA.html"));
    EXPECT_EQ(eula.windowTitle(), QStringLiteral("Lizenzvereinbarung von Brightmoor"));
    EXPECT_EQ(browser->source(), german);

    // Click the middle of the document's first link: the browser opens it, the window stays.
    QTextCursor cursor(browser->document());
    while (!cursor.atEnd() && !cursor.charFormat().isAnchor())
        cursor.movePosition(QTextCursor::NextCharacter);
    browser->setTextCursor(cursor);
    browser->ensureCursorVisible();
    ASSERT_TRUE(cursor.charFormat().isAnchor());
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, browser->cursorRect().center());
    EXPECT_EQ(env.host.openedUrls, QList<QUrl>{QUrl(cursor.charFormat().anchorHref())});
    EXPECT_EQ(browser->source(), german);

    mainWindow.activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !eula.isVisible(); }, 2000));
    EXPECT_EQ(closed.count(), 1);
    // Its own close control, which Tab reaches, closes it too (Escape: the end-to-end tests).
    QSignalSpy dismissed(&eula, &QSEula::dismissed);
    eula.showWindow();
    auto *close = eula.findChild<QPushButton *>(QStringLiteral("closeButton"));
    ASSERT_TRUE(close && close->isVisible());
    EXPECT_EQ(close->text(), QStringLiteral("Schließen"));
    EXPECT_TRUE(close->focusPolicy() & Qt::TabFocus);
    close->click();
    EXPECT_FALSE(eula.isVisible());
    EXPECT_EQ(dismissed.count(), 1);
}

// Every key the screens, the shell and the flow look up has a text in every language; the texts
// the code fills with a name keep exactly one "%@".
TEST(Translations, EveryKeyHasATextInEveryLanguage)
{
    const QStringList keys = QStringLiteral(
        "ContactAdminTitle ContactAdminMessage MessageClose MessageRetry QSContactSupport QSDetailText QSLandingInfoOne "
        "QSLandingInfoTwo QSLandingInfoThree QSInstallNow QSLicenceTextPart1 QSLicenceTextPart2 QSLicenceTextPart3 "
        "QSLicenceTextPart4 MessageConnecting QSInstalling QSLaunchApp QSstarted QSWelcome_To_Brightmoor QSQuitTitle "
        "QSQuitMessage QSExit QSNo MessageInstallationFailed MessageInstallationFailedDescription "
        "MessageInstallationFailedDescription1 MessageInstallationFailedDescription2 MessageInstallationFailedClickHere "
        "MessageInstallationFailedDescription3 ContactSupportText ContactSupportText1 MessageNoInternetConnection "
        "MessagePleaseTryLater QSAlreadyInstalledTitle QSAlreadyInstalledMessage QSNoSpaceTitle QSNoSpaceMessage "
        "QSOSNotCompatibleTitle QSOSNotCompatibleMessage MessageContent QSAccessibleQuit QSAccessibleDownloadProgress "
        "QSAccessibleInstallationGuide").split(u' ');
    TestEnv env;
    const auto restore = qScopeGuard([&] { uitest::useLanguage(env.host, QStringLiteral("en-US")); });
    for (const char *language : {"en-US", "de-DE", "he-IL"}) {
        uitest::useLanguage(env.host, QString::fromLatin1(language));
        for (const QString &key : keys) {
            const QString text = platform::localizedString(key);
            EXPECT_TRUE(text != key && !text.trimmed().isEmpty()) << language << " lacks " << key.toStdString();
        }
        for (const char *key : {"ContactAdminMessage", "QSAlreadyInstalledMessage", "QSLicenceTextPart2"})
            EXPECT_EQ(platform::localizedString(key).count(QLatin1String("%@")), 1) << language << " " << key;
    }
}
