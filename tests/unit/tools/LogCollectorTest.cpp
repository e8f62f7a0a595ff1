#include "LogCollector.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

struct PathCase {
    const char *path;
    bool accepted;
};

void PrintTo(const PathCase &c, std::ostream *out)
{
    *out << '"' << c.path << '"' << (c.accepted ? " accepted" : " refused");
}

class SafeRelativePath : public testing::TestWithParam<PathCase> {};

TEST_P(SafeRelativePath, AcceptsOnlyPathsThatStayInsideTheFolder)
{
    const PathCase c = GetParam();
    EXPECT_EQ(demo::LogCollector::safeRelativePath(QString::fromUtf8(c.path)).has_value(), c.accepted)
        << c.path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SafeRelativePath,
    testing::Values(PathCase{"0a1b2c3d-aaaa-4bbb-8ccc-123456789012/tiny-2026-12-05T13-52-54.log", true},
                    PathCase{"tiny.log", true}, PathCase{"a/b/c/..d.log", true},
                    PathCase{"..", false}, PathCase{"../x.log", false}, PathCase{"a/../../x.log", false},
                    PathCase{"a/..", false}, PathCase{"./x.log", false}, PathCase{"/etc/x.log", false},
                    PathCase{"", false}, PathCase{"a//b.log", false}, PathCase{"dir/", false}),
    [](const testing::TestParamInfo<PathCase> &testCase) {
        return std::to_string(testCase.index) + (testCase.param.accepted ? "_accepted" : "_refused");
    });

TEST(LogCollector, StoresTheBodyUnderNewFoldersAndReplacesAnEarlierUpload)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const demo::LogCollector logs(root.filePath(QStringLiteral("store")));
    QString error;

    ASSERT_TRUE(logs.store(QStringLiteral("ci/tiny-1.log"), QByteArray("first\r\n"), &error)) << qPrintable(error);
    const auto written = logs.store(QStringLiteral("ci/tiny-1.log"), QByteArray("second\r\n"), &error);
    ASSERT_TRUE(written) << qPrintable(error);

    QFile file(*written);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("second\r\n"));
    EXPECT_EQ(*written, QDir(root.filePath(QStringLiteral("store/ci"))).absoluteFilePath(QStringLiteral("tiny-1.log")));
}

TEST(LogCollector, RefusesAnEscapingPathAndWritesNothing)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const demo::LogCollector logs(root.filePath(QStringLiteral("store")));
    QString error;

    EXPECT_FALSE(logs.store(QStringLiteral("../outside.log"), QByteArray("x"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(root.filePath(QStringLiteral("outside.log"))));
}

TEST(LogCollector, ReportsAFolderThatCannotBeCreated)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    QFile blocker(root.filePath(QStringLiteral("ci")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the folder should go
    blocker.close();
    const demo::LogCollector logs(root.path());
    QString error;

    EXPECT_FALSE(logs.store(QStringLiteral("ci/tiny.log"), QByteArray("x"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("folder"))) << qPrintable(error);
}

}  // namespace
