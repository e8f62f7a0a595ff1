// Removing the cache folders: what is removed, what is never touched, and the records.

#include "ShellTestSupport.h"
#include "TestEnv.h"

#include "shell/AppCache.h"

#include "telemetry/QSLogger.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

QSLogContext context() { return QS_LOG_CONTEXT("-[AppDelegate applicationDidFinishLaunching:]"); }

void touch(const QString &path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

}  // namespace

TEST(AppCache, ALinkedFolderIsUnlinkedWithoutTouchingWhatItPointsTo)
{
    TestEnv env;
    const QString outside = env.path(QStringLiteral("precious"));
    ASSERT_TRUE(QDir().mkpath(outside));
    touch(outside + QStringLiteral("/keep.txt"));
    const QString caches = env.host.cachesDirectory();
    ASSERT_TRUE(QDir().mkpath(caches));
    ASSERT_TRUE(QFile::link(outside, caches + QStringLiteral("/com.example.linked")));
    // A link inside a real cache folder, pointing out of it, is not followed either.
    ASSERT_TRUE(QDir().mkpath(caches + QStringLiteral("/com.example.real")));
    ASSERT_TRUE(QFile::link(outside, caches + QStringLiteral("/com.example.real/escape")));

    EXPECT_TRUE(shell::removeAppCache(shell::appCachePath(caches, QStringLiteral("com.example.linked")),
                                      QStringLiteral("com.example.linked"), context()));
    EXPECT_TRUE(shell::removeAppCache(shell::appCachePath(caches, QStringLiteral("com.example.real")),
                                      QStringLiteral("com.example.real"), context()));

    EXPECT_FALSE(QFileInfo(caches + QStringLiteral("/com.example.linked")).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(caches + QStringLiteral("/com.example.real")));
    EXPECT_TRUE(QFile::exists(outside + QStringLiteral("/keep.txt")));
}

TEST(AppCache, AnIdentifierThatIsNotOneFolderNameNeverReachesTheWholeCachesFolder)
{
    TestEnv env;
    const QString caches = env.host.cachesDirectory();
    ASSERT_TRUE(QDir().mkpath(caches));
    touch(caches + QStringLiteral("/other-app-cache"));
    for (const QString &identifier : {QString(), QStringLiteral(""), QStringLiteral("."), QStringLiteral(".."),
                                      QStringLiteral("../x"), QStringLiteral("a/b")}) {
        SCOPED_TRACE(identifier.toStdString());
        EXPECT_TRUE(shell::appCachePath(caches, identifier).isNull());
        EXPECT_FALSE(shell::removeAppCache(shell::appCachePath(caches, identifier), identifier, context()));
    }
    EXPECT_TRUE(QFile::exists(caches + QStringLiteral("/other-app-cache")));
    // Each refusal is written as a failure with its reason.
    const QStringList records = shelltest::recordsOf(env.logLines());
    EXPECT_EQ(shelltest::countRecords(records, QStringLiteral("DEBUG Failed to remove app cache from ")), 6);
    EXPECT_EQ(shelltest::countRecords(records, QStringLiteral("ERROR Error: ")), 6);
}

