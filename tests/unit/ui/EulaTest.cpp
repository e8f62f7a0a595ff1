#include "TestEnv.h"
#include "UiTestSupport.h"

#include "ui/QSEula.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>

#include <gtest/gtest.h>

namespace {

struct DocumentCase {
    const char *language;
    const char *country;
    const char *name;
};

void PrintTo(const DocumentCase &c, std::ostream *out)
{
    *out << c.language << ' ' << c.country;
}

class LicenceDocumentName : public ::testing::TestWithParam<DocumentCase> {};

TEST_P(LicenceDocumentName, FollowsTheLanguageTable)
{
    const DocumentCase &c = GetParam();
    EXPECT_EQ(QSEula::licenceName(QString::fromLatin1(c.language), QString::fromLatin1(c.country)),
              QString::fromLatin1(c.name));
}

INSTANTIATE_TEST_SUITE_P(Table, LicenceDocumentName,
                         ::testing::Values(DocumentCase{"zh-Hant", "", "zh-TW"},
                                           DocumentCase{"zh-Hant", "HK", "zh-TW"},
                                           DocumentCase{"zh-Hant-TW", "US", "zh-TW"},
                                           DocumentCase{"zh", "TW", "zh-TW"},
                                           DocumentCase{"zh", "CN", "zh"},
                                           DocumentCase{"zh-Hant-HK", "HK", "zh"},
                                           DocumentCase{"zh-Hans-CN", "CN", "zh"},
                                           DocumentCase{"de", "DE", "de"},
                                           DocumentCase{"fr", "CA", "fr"},
                                           DocumentCase{"en", "TW", "en"}));

struct UrlCase {
    const char *language;
    const char *country;
    const char *url;
};

void PrintTo(const UrlCase &c, std::ostream *out)
{
    *out << c.language << ' ' << c.country;
}

class LicenceDocumentUrl : public ::testing::TestWithParam<UrlCase> {};

TEST_P(LicenceDocumentUrl, UsesTheBundledDocumentOrEnglish)
{
    const UrlCase &c = GetParam();
    const QUrl url = QSEula::eulaUrlFor(QString::fromLatin1(c.language), QString::fromLatin1(c.country),
                                        [](const QString &path) { return QFile::exists(path); });
    EXPECT_EQ(url, QUrl(QString::fromLatin1(c.url)));
}

INSTANTIATE_TEST_SUITE_P(Bundle, LicenceDocumentUrl,
                         ::testing::Values(UrlCase{"zh", "TW", "qrc:/licences/zh-TW_EULA.html"},
                                           UrlCase{"zh", "CN", "qrc:/licences/zh_EULA.html"},
                                           UrlCase{"de", "AT", "qrc:/licences/de_EULA.html"},
                                           UrlCase{"fr", "FR", "qrc:/licences/fr_EULA.html"},
                                           UrlCase{"he", "IL", "qrc:/licences/en_EULA.html"},
                                           UrlCase{"", "", "qrc:/licences/en_EULA.html"}));

TEST(LicenceDocument, FallsBackToEnglishWhenTheChosenOneIsMissing)
{
    const auto withoutGerman = [](const QString &path) { return !path.contains(QLatin1String("de_EULA")); };
    EXPECT_EQ(QSEula::eulaUrlFor(QStringLiteral("de"), QStringLiteral("DE"), withoutGerman),
              QUrl(QStringLiteral("qrc:/licences/en_EULA.html")));
    EXPECT_TRUE(QSEula::eulaUrlFor(QStringLiteral("de"), QStringLiteral("DE"), [](const QString &) { return false; })
                    .isEmpty());
}

// The centre of the first link in the browser's document, in viewport coordinates.
std::optional<QPoint> firstLinkPosition(QTextBrowser *browser, QString *href)
{
    QTextDocument *document = browser->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isAnchor())
                continue;
            QTextCursor cursor(document);
            cursor.setPosition(fragment.position() + 1);
            browser->setTextCursor(cursor);
            browser->ensureCursorVisible();
            *href = fragment.charFormat().anchorHref();
            return browser->cursorRect(cursor).center();
        }
    }
    return std::nullopt;
}

class LicenceWindow : public ::testing::Test {
protected:
    LicenceWindow()
    {
        env.host.languages = {QStringLiteral("de-DE")};
        env.host.country = QStringLiteral("DE");
        uitest::useLanguage(env.host, QStringLiteral("de-DE"));
    }
    ~LicenceWindow() override { uitest::useLanguage(env.host, QStringLiteral("en-US")); }
    TestEnv env;
};

TEST_F(LicenceWindow, ShowsTheUsersDocumentUnderTheMakersTitle)
{
    QSEula eula;
    EXPECT_EQ(eula.windowTitle(), QStringLiteral("Lizenzvereinbarung von Brightmoor"));
    EXPECT_EQ(eula.webView()->source(), QUrl(QStringLiteral("qrc:/licences/de_EULA.html")));
    EXPECT_TRUE(eula.webView()->toPlainText().contains(QLatin1String("Endbenutzer-Lizenzvereinbarung")));
    EXPECT_TRUE(eula.windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(LicenceWindow, ALinkOpensInTheBrowserAndTheDocumentStays)
{
    QSEula eula;
    eula.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&eula));
    QString href;
    const auto position = firstLinkPosition(eula.webView(), &href);
    ASSERT_TRUE(position.has_value());

    QTest::mouseClick(eula.webView()->viewport(), Qt::LeftButton, {}, *position);
    ASSERT_EQ(env.host.openedUrls.size(), 1);
    EXPECT_EQ(env.host.openedUrls.first(), QUrl(href));
    EXPECT_EQ(eula.webView()->source(), QUrl(QStringLiteral("qrc:/licences/de_EULA.html")));
}

TEST_F(LicenceWindow, ClosesWhenAnotherWindowBecomesActive)
{
    QWidget mainWindow;
    mainWindow.resize(300, 200);
    mainWindow.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mainWindow));
    QSEula eula(&mainWindow);
    QSignalSpy closed(&eula, &QSEula::closed);
    eula.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&eula));
    EXPECT_EQ(closed.count(), 0);

    mainWindow.activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !eula.isVisible(); }, 2000));
    EXPECT_EQ(closed.count(), 1);
}

}  // namespace
