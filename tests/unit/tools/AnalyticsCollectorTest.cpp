#include "AnalyticsCollector.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(AnalyticsCollector, KeepsEveryBatchByteForByteInArrivalOrder)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const demo::AnalyticsCollector collector(root.filePath(QStringLiteral("analytics.txt")));
    const QByteArray first("t1 ci=x {\"EVT\":\"Start\"}\r\nt2 ci=x {\"EVT\":\"End\"}");  // no trailing CR LF
    const QByteArray second("ends with a line end\r\n");
    QString error;

    ASSERT_TRUE(collector.append(first, "application/x-www-form-urlencoded", &error)) << qPrintable(error);
    ASSERT_TRUE(collector.append(second, "text/plain", &error)) << qPrintable(error);

    const QByteArray separator = QByteArray("\n") + demo::AnalyticsCollector::kSeparator + "\n";
    const QByteArray content = readAll(root.filePath(QStringLiteral("analytics.txt")));
    ASSERT_TRUE(content.endsWith(separator));
    QList<QByteArray> bodies;
    qsizetype start = 0;
    for (qsizetype at = content.indexOf(separator); at >= 0; at = content.indexOf(separator, start)) {
        bodies.append(content.mid(start, at - start));
        start = at + separator.size();
    }
    EXPECT_EQ(bodies, (QList<QByteArray>{first, second}));
    EXPECT_EQ(readAll(collector.contentTypePath()),
              QByteArray("application/x-www-form-urlencoded\ntext/plain\n"));
}

TEST(AnalyticsCollector, ReportsAFileThatCannotBeOpened)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const demo::AnalyticsCollector collector(root.filePath(QStringLiteral("missing/analytics.txt")));
    QString error;

    EXPECT_FALSE(collector.append("body", "text/plain", &error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing/analytics.txt"))) << qPrintable(error);
}

}  // namespace
