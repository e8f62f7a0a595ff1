// The extraction that follows a file while another thread writes it, piece by piece.
#include "TestZip.h"
#include "archive/StreamingZipExtraction.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <archive_entry.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

QByteArray productArchive()
{
    QByteArray noise(100 * 1024, Qt::Uninitialized);
    QRandomGenerator(9).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    return testZipBytes({{"Corvala.app/", {}, AE_IFDIR, 0755},
                         {"Corvala.app/Contents/MacOS/corvala", "#!/bin/sh\n", AE_IFREG, 0755},
                         {"Corvala.app/Contents/Resources/noise.bin", noise},
                         {"Corvala.app/Contents/Resources/current", {}, AE_IFLNK, 0777, "../MacOS/corvala"}});
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

TEST(StreamingZipExtraction, FollowsAFileWrittenInPiecesOfAnySize)
{
    const QByteArray archive = productArchive();
    for (const qsizetype piece : {qsizetype(1), qsizetype(1000), qsizetype(64 * 1024 + 3), archive.size()}) {
        SCOPED_TRACE(piece);
        QTemporaryDir dir;
        const QString partial = dir.filePath("body.partial"), finished = dir.filePath("body.zip"), out = dir.filePath("out");
        QFile file(partial);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        archives::StreamingZipExtraction extraction(partial, out);
        extraction.start();
        std::thread writer([&] {
            for (qsizetype at = 0; at < archive.size(); at += piece) {
                const QByteArray bytes = archive.mid(at, piece);
                file.write(bytes);
                extraction.bytesWritten(bytes.size());
            }
        });
        writer.join();
        file.close();
        ASSERT_TRUE(QFile::rename(partial, finished));  // as the download does once the body is whole

        QString why;
        ASSERT_TRUE(extraction.finish(finished, &why)) << why.toStdString();
        EXPECT_TRUE(QFileInfo(out + "/Corvala.app/Contents/MacOS/corvala").isExecutable());
        EXPECT_EQ(QFileInfo(out + "/Corvala.app/Contents/Resources/current").symLinkTarget(),
                  QFileInfo(out + "/Corvala.app/Contents/MacOS/corvala").canonicalFilePath());
        EXPECT_EQ(readAll(out + "/Corvala.app/Contents/Resources/noise.bin").size(), 100 * 1024);
    }
}

// Waiting for bytes that never come must not hold up the end of the run.
TEST(StreamingZipExtraction, StopsWhileWaitingForBytesAndGivesUpWhenCancelledFromOutside)
{
    const QByteArray archive = productArchive();
    QTemporaryDir dir;
    const QString partial = dir.filePath("body.partial");
    QFile file(partial);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    file.write(archive.left(archive.size() / 2));

    {
        archives::StreamingZipExtraction waiting(partial, dir.filePath("stopped"));
        waiting.start();
        waiting.bytesWritten(archive.size() / 2);
        waiting.stop();  // returns: the thread has ended
    }

    std::atomic<bool> quitting{false};
    archives::StreamingZipExtraction cancelled(partial, dir.filePath("cancelled"));
    cancelled.setCancelFlag(&quitting);
    cancelled.start();
    cancelled.bytesWritten(archive.size() / 2);
    quitting = true;
    file.write(archive.mid(archive.size() / 2));
    cancelled.bytesWritten(archive.size() - archive.size() / 2);
    QString why;
    EXPECT_FALSE(cancelled.finish(partial, &why));
    EXPECT_FALSE(why.isEmpty());
}

