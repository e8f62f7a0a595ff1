// Removing a cache folder never reaches beyond it: not through a link, and not with an identifier
// that is not one folder name.

#include "TestEnv.h"

#include "shell/AppCache.h"

#include "telemetry/QSLogger.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(AppCache, RemovalStaysInsideTheOneCacheFolder)
{
    TestEnv env;
    const QString caches = env.host.cachesDirectory();
    const QString outside = env.path(u"precious"_s);
    ASSERT_TRUE(QDir().mkpath(outside) && QDir().mkpath(caches + u"/com.example.real"_s));
    ASSERT_TRUE(QFile(outside + u"/keep.txt"_s).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(outside, caches + u"/com.example.linked"_s));
    ASSERT_TRUE(QFile::link(outside, caches + u"/com.example.real/escape"_s));
    const QSLogContext context = QS_LOG_CONTEXT("-[AppDelegate applicationDidFinishLaunching:]");

    for (const QString &id : {u"com.example.linked"_s, u"com.example.real"_s})
        EXPECT_TRUE(shell::removeAppCache(shell::appCachePath(caches, id), id, context)) << id.toStdString();
    for (const QString &id : {QString(), u"."_s, u".."_s, u"../x"_s, u"a/b"_s})
        EXPECT_FALSE(shell::removeAppCache(shell::appCachePath(caches, id), id, context)) << id.toStdString();

    EXPECT_FALSE(QFileInfo(caches + u"/com.example.linked"_s).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(caches + u"/com.example.real"_s));
    EXPECT_TRUE(QFile::exists(outside + u"/keep.txt"_s));
    EXPECT_TRUE(QDir(caches).exists());
}
