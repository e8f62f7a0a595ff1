#pragma once
// Helpers shared by the screen tests.

#include "FakeHost.h"
#include "platform/Localization.h"
#include "platform/NotificationCenter.h"

#include <QCoreApplication>

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
    ~PostRecorder()
    {
        for (auto token : tokens)
            center().removeObserver(token);
    }
    static platform::NotificationCenter &center() { return platform::NotificationCenter::defaultCenter(); }
    QList<platform::Notification> posts;
    QList<platform::NotificationCenter::Token> tokens;
};

}  // namespace uitest

inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QUrl &url, std::ostream *out) { *out << url.toString().toStdString(); }
