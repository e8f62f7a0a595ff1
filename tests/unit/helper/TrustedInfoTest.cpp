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
    // Each change over what the rows before left.
    const std::tuple<const char *, std::function<void()>, bool> cases[] = {
        {"root's own file", [&] { chmodTo(info, 0644); }, true},
        {"group may write the file", [&] { chmodTo(info, 0664); }, false},
        {"others may write a folder above", [&] { chmodTo(info, 0644); chmodTo(dir.filePath("Contents"), 0757); }, false},
        {"sticky folder above", [&] { chmodTo(dir.filePath("Contents"), 01777); }, true},
        {"owned by someone else", [&] { chmodTo(dir.filePath("Contents"), 0755); (void)::chown(QFile::encodeName(info).constData(), 65534, 65534); }, false},
        {"a link in place of the file", [&] { QFile::remove(info); QFile::link("/etc/hostname", info); }, false},
    };
    for (const auto &[what, change, trusted] : cases) {
        change();
        QString error;
        EXPECT_EQ(TrustedInfo::isRootControlled(info, &error), trusted) << what << ": " << error.toStdString();
    }
}
