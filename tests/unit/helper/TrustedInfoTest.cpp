#include "TrustedInfo.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

TEST(TrustedInfo, OnlyFilesThatNobodyButRootCanChangeAreTrusted)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs files owned by root";
    QTemporaryDir dir;  // 0700 inside /tmp (root-owned, sticky): trusted
    ASSERT_TRUE(QDir().mkpath(dir.filePath("Contents")));
    const QString info = dir.filePath("Contents/Info.plist");
    QFile file(info);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const auto chmodTo = [](const QString &path, mode_t mode) { ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0); };
    chmodTo(dir.filePath("Contents"), 0755);
    struct Case {
        const char *what;
        std::function<void()> change;
        bool trusted;
    };
    const QList<Case> cases = {
        {"root's own file", [&] { chmodTo(info, 0644); }, true},
        {"group may write the file", [&] { chmodTo(info, 0664); }, false},
        {"others may write a folder above", [&] { chmodTo(info, 0644); chmodTo(dir.filePath("Contents"), 0757); }, false},
        {"sticky folder above", [&] { chmodTo(dir.filePath("Contents"), 01777); }, true},
        {"owned by someone else", [&] {
             chmodTo(dir.filePath("Contents"), 0755);
             ASSERT_EQ(::chown(QFile::encodeName(info).constData(), 65534, 65534), 0);
         }, false},
    };
    for (const Case &c : cases) {
        c.change();
        QString error;
        EXPECT_EQ(TrustedInfo::isRootControlled(info, &error), c.trusted) << c.what << ": " << error.toStdString();
    }
    QFile::remove(info);
    ASSERT_TRUE(QFile::link("/etc/hostname", info));
    QString error;
    EXPECT_FALSE(TrustedInfo::isRootControlled(info, &error)) << "a link in place of the file is refused";
}
