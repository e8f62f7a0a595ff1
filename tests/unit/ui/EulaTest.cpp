#include "TestEnv.h"
#include "UiTestSupport.h"

#include "ui/QSEula.h"

#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>

TEST(LicenceDocument, FollowsTheLanguageTableWithTheEnglishFallback)
{
    const char *const names[][3] = {
        // language, country, document
        {"zh-Hant", "", "zh-TW"}, {"zh-Hant", "HK", "zh-TW"}, {"zh-Hant-TW", "US", "zh-TW"}, {"zh", "TW", "zh-TW"},
        {"zh", "CN", "zh"},       {"zh-Hant-HK", "HK", "zh"}, {"zh-Hans-CN", "CN", "zh"},  {"de", "DE", "de"},
        {"fr", "CA", "fr"},       {"en", "TW", "en"},
    };
    for (const auto &c : names)
        EXPECT_EQ(QSEula::licenceName(QString::fromLatin1(c[0]), QString::fromLatin1(c[1])), QString::fromLatin1(c[2]))
            << c[0] << ' ' << c[1];

    const auto bundled = [](const QString &path) { return QFile::exists(path); };
    const auto url = [](const char *name) { return QUrl(QStringLiteral("qrc:/licences/%1_EULA.html").arg(QLatin1String(name))); };
    EXPECT_EQ(QSEula::eulaUrlFor(QStringLiteral("zh"), QStringLiteral("TW"), bundled), url("zh-TW"));
    EXPECT_EQ(QSEula::eulaUrlFor(QStringLiteral("de"), QStringLiteral("AT"), bundled), url("de"));
    EXPECT_EQ(QSEula::eulaUrlFor(QStringLiteral("he"), QStringLiteral("IL"), bundled), url("en"));
    EXPECT_EQ(QSEula::eulaUrlFor(QString(), QString(), bundled), url("en"));
    const auto withoutGerman = [](const QString &path) { return !path.contains(QLatin1String("de_EULA")); };
    EXPECT_EQ(QSEula::eulaUrlFor(QStringLiteral("de"), QStringLiteral("DE"), withoutGerman), url("en"));
    EXPECT_TRUE(QSEula::eulaUrlFor(QStringLiteral("de"), QStringLiteral("DE"), [](const QString &) { return false; })
                    .isEmpty());
}

class LicenceWindow : public ::testing::Test {
protected:
    LicenceWindow()
    {
        env.host.country = QStringLiteral("DE");
        uitest::useLanguage(env.host, QStringLiteral("de-DE"));
    }
    ~LicenceWindow() override { uitest::useLanguage(env.host, QStringLiteral("en-US")); }
    TestEnv env;
};

TEST_F(LicenceWindow, ShowsTheUsersDocumentOpensLinksInTheBrowserAndClosesWhenLeft)
{
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
    EXPECT_TRUE(browser->toPlainText().contains(QLatin1String("Endbenutzer-Lizenzvereinbarung")));
    EXPECT_TRUE(eula.windowFlags() & Qt::WindowStaysOnTopHint);

    // Click the middle of the document's first link.
    QTextCursor cursor(browser->document());
    while (!cursor.atEnd() && !cursor.charFormat().isAnchor())
        cursor.movePosition(QTextCursor::NextCharacter);
    browser->setTextCursor(cursor);
    browser->ensureCursorVisible();
    const QTextCharFormat anchor = cursor.charFormat();
    ASSERT_TRUE(anchor.isAnchor());
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, browser->cursorRect().center());
    EXPECT_EQ(env.host.openedUrls, QList<QUrl>{QUrl(anchor.anchorHref())});
    EXPECT_EQ(browser->source(), german);

    mainWindow.activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !eula.isVisible(); }, 2000));
    EXPECT_EQ(closed.count(), 1);
}
