// Renders every screen into <artifacts>/<name>.png ($TI_ARTIFACTS_DIR, else <build>/artifacts) for
// people to look at, and checks that each lays its texts and buttons out without clipping them.

#include "TestEnv.h"
#include "TestHttpServer.h"
#include "UiTestSupport.h"

#include "config/QSConfig.h"
#include "engine/QSInstallFlow.h"
#include "ui/QSCarousel.h"
#include "ui/QSMainController.h"
#include "ui/widgets/QSButton.h"
#include "ui/widgets/QSImageView.h"

#include <QBuffer>
#include <QDir>
#include <QJsonObject>
#include <QLabel>
#include <QPainter>
#include <QTest>

namespace {

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
// page 4: the third page, then the finished state.
void downloading(TestEnv &env, QSMainController &window, int page)
{
    Q_UNUSED(env);
    // Pictures come from the web only: a server on 127.0.0.1 hands them out while they load here.
    TestHttpServer server;
    QSConfig config;
    const char *const titles[] = {"Everything in one place", "Works offline", "Private by design"};
    for (int i = 0; i < 3; ++i) {
        QImage picture(640, 400, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv(250 - 100 * i, 70, 235));
        QByteArray png;
        QBuffer buffer(&png);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "PNG"));
        const QByteArray path = "/page" + QByteArray::number(i + 1) + ".png";
        server.answer(path, {200, {}, png});
        config.screens.append(QJsonObject{
            {"text1", titles[i]},
            {"text2", "A short description of what this part of Corvala does for you, on two lines at most."},
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

TEST(Screens, EveryScreenIsSavedAsAPicture)
{
    const auto page = [](int n) -> Arrange { return [n](TestEnv &env, QSMainController &w) { downloading(env, w, n); }; };
    const Arrange none = [](TestEnv &, QSMainController &) {};
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
        {"error_installation_failed",
         [](TestEnv &, QSMainController &w) { w.flow().setConfigLoader([](auto done) { done(nullptr, std::nullopt); }); }, true},
        {"quit_confirmation", [](TestEnv &, QSMainController &w) { w.onCloseTap(); }, false},
        {"licence", [](TestEnv &, QSMainController &w) { w.licenseAgreementClick(); }, false},
        {"downloading_page2_he", page(2), false},
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
        // Drawn over the window background: the confirmation is translucent around its shadow.
        QImage canvas(screen->size() * screen->devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
        canvas.setDevicePixelRatio(screen->devicePixelRatio());
        canvas.fill(QColor(0xF7, 0xF7, 0xF9));
        QPainter painter(&canvas);
        screen->render(&painter);
        painter.end();
        const QDir directory(qEnvironmentVariable("TI_ARTIFACTS_DIR", QStringLiteral(TI_BUILD_DIR "/artifacts")));
        EXPECT_TRUE(directory.mkpath(".") && canvas.save(directory.filePath(name + ".png")));
    }
    TestEnv env;
    uitest::useLanguage(env.host, QStringLiteral("en-US"));
}
