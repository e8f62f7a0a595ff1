// The product archive, through the installer's own checks around libarchive, into a scratch
// folder that is emptied after every run and searched for anything that got out; and its central
// directory, read on its own to hold streamed trees against.

#include "FuzzSupport.h"

#include "archive/StreamingZipExtraction.h"
#include "archive/ZipCentralDirectory.h"
#include "archive/ZipExtractor.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace {

std::unique_ptr<QTemporaryDir> scratch;
QString archivePath;
QString cage;         // holds only the destination; an escape by one level lands here
QString destination;

// Like the installer, which allows what the disk has free; this keeps a deflate bomb cheap.
constexpr quint64 kSpaceLimit = 16 * 1024 * 1024;

bool inside(const QString &path, const QString &folder)
{
    const QString clean = QDir::cleanPath(path);
    return clean == folder || clean.startsWith(folder + QLatin1Char('/'));
}

// Everything in the scratch folder is the archive, the cage, the destination or inside it, and
// every link there points inside the destination.
void checkNothingEscaped()
{
    FUZZ_CHECK(QDir(scratch->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System).size() <= 2);
    FUZZ_CHECK(QDir(cage).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System).size() <= 1);
    QDirIterator it(destination, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        FUZZ_CHECK(inside(info.absoluteFilePath(), destination));
        if (info.isSymLink())
            FUZZ_CHECK(inside(info.symLinkTarget(), destination));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    // scripts/fuzz points TMPDIR at a folder of its own, on a memory file system when there is one.
    scratch = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/fuzz-zip-XXXXXX"));
    if (!scratch->isValid())
        std::abort();
    archivePath = scratch->filePath(QStringLiteral("archive.zip"));
    cage = scratch->filePath(QStringLiteral("cage"));
    destination = cage + QStringLiteral("/out");
    std::atexit([] { scratch.reset(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        QFile file(archivePath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(fuzz::bytes(data, size)) != qint64(size))
            std::abort();
    }
    archives::ZipExtractor extractor;
    extractor.setSpaceLimit(kSpaceLimit);
    const bool ok = extractor.extract(archivePath, destination);
    FUZZ_CHECK(ok || !extractor.errorString().isEmpty());
    checkNothingEscaped();
    QDir(cage).removeRecursively();

    // The central directory as the streamed tree is held against it: every record lies in the file.
    {
        QList<archives::ZipDirectoryRecord> records;
        QString error;
        if (archives::ZipCentralDirectory::read(archivePath, &records, &error)) {
            for (const archives::ZipDirectoryRecord &record : records)
                FUZZ_CHECK(record.dataOffset <= size && record.compressedSize <= size - record.dataOffset);
        } else {
            FUZZ_CHECK(!error.isEmpty());
        }
    }

    // The same bytes as a download hands them over: read by their local headers, then mended or
    // given up against the central directory. Nothing may get out that way either.
    {
        archives::StreamingZipExtraction streamed(archivePath, destination);
        streamed.setSpaceLimit(kSpaceLimit);
        streamed.start();
        streamed.bytesWritten(qint64(size));
        QString why;
        FUZZ_CHECK(streamed.finish(archivePath, &why) || !why.isEmpty());
    }
    checkNothingEscaped();
    QDir(cage).removeRecursively();
    return 0;
}
