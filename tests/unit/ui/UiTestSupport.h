#pragma once
// Helpers shared by the screen tests.

#include "FakeHost.h"
#include "platform/NotificationCenter.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <ostream>

class QWidget;

namespace uitest {

// Makes language the user's preferred one and installs its translation table, as the installer
// does at start.
void useLanguage(FakeHost &host, const QString &language);

// Where screenshots go: $TI_ARTIFACTS_DIR, else <build>/artifacts.
QString artifactsDirectory();
// Renders a widget (with its children) into <artifacts>/<name>.png; returns the path.
QString saveScreenshot(QWidget *widget, const QString &name);

// Records every post of the given names while it lives.
class PostRecorder {
public:
    explicit PostRecorder(const QStringList &names);
    ~PostRecorder();
    QList<platform::Notification> posts;

private:
    QList<platform::NotificationCenter::Token> tokens_;
};

}  // namespace uitest

// Readable values in failure messages.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QUrl &url, std::ostream *out)
{
    *out << url.toString().toStdString();
}
