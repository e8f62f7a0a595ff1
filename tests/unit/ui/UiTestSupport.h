#pragma once
// Helpers shared by the screen tests.

#include "FakeHost.h"
#include "platform/Localization.h"
#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

namespace uitest {

// Makes language the user's preferred one and installs its translations, as the installer does at start.
inline void useLanguage(FakeHost &host, const QString &language)
{
    host.languages = QStringList{language};
    platform::installTranslations(*QCoreApplication::instance());
}

// Records every post of the given names while it lives.
struct PostRecorder {
    explicit PostRecorder(const QStringList &names)
    {
        for (const QString &name : names)
            tokens << center().addObserver(name, [this](const platform::Notification &n) { posts << n; });
    }
    ~PostRecorder() { std::for_each(tokens.begin(), tokens.end(), [](auto token) { center().removeObserver(token); }); }
    static platform::NotificationCenter &center() { return platform::NotificationCenter::defaultCenter(); }
    QList<platform::Notification> posts;
    QList<platform::NotificationCenter::Token> tokens;
};

// Draws the screen over the window background into <artifacts>/<name>.png ($TI_ARTIFACTS_DIR,
// else <build>/artifacts) for people to look at: the confirmation is translucent around its shadow.
inline QImage saveScreen(QWidget &screen, const QString &name)
{
    QImage canvas(screen.size() * screen.devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(screen.devicePixelRatio());
    canvas.fill(QColor(0xF7, 0xF7, 0xF9));
    QPainter painter(&canvas);
    screen.render(&painter);
    painter.end();
    const QDir directory(qEnvironmentVariable("TI_ARTIFACTS_DIR", QStringLiteral(TI_BUILD_DIR "/artifacts")));
    EXPECT_TRUE(directory.mkpath(".") && canvas.save(directory.filePath(name + ".png")));
    return canvas;
}

}  // namespace uitest

inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QUrl &url, std::ostream *out) { *out << url.toString().toStdString(); }
