#include "UiTestSupport.h"

#include "platform/Localization.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

#include <gtest/gtest.h>

namespace uitest {

void useLanguage(FakeHost &host, const QString &language)
{
    host.languages = QStringList{language};
    platform::installTranslations(*QCoreApplication::instance());
}

QString artifactsDirectory()
{
    QString directory = qEnvironmentVariable("TI_ARTIFACTS_DIR");
    if (directory.isEmpty())
        directory = QStringLiteral(TI_BUILD_DIR "/artifacts");
    QDir().mkpath(directory);
    return directory;
}

QString saveScreenshot(QWidget *widget, const QString &name)
{
    const QString path = QDir(artifactsDirectory()).filePath(name + QStringLiteral(".png"));
    const QPixmap pixmap = widget->grab();
    EXPECT_TRUE(pixmap.save(path)) << path.toStdString();
    return path;
}

PostRecorder::PostRecorder(const QStringList &names)
{
    for (const QString &name : names) {
        tokens_ << platform::NotificationCenter::defaultCenter().addObserver(
            name, [this](const platform::Notification &notification) { posts << notification; });
    }
}

PostRecorder::~PostRecorder()
{
    for (auto token : tokens_)
        platform::NotificationCenter::defaultCenter().removeObserver(token);
}

}  // namespace uitest
