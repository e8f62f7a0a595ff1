#include "archive/StreamingZipExtraction.h"

#include "archive/ExtractedTree.h"
#include "archive/ZipCentralDirectory.h"
#include "platform/ThreadCrash.h"
#include "platform/TreeRemoval.h"

#include <QFile>
#include <QHash>

#include <archive_entry.h>

#include <algorithm>
#include <chrono>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archives {
namespace {

// One read of the file: large enough that the reader is rarely woken, small enough not to count.
constexpr qint64 kReadBlock = 256 * 1024;
constexpr std::chrono::milliseconds kCancelPoll{100};

bool entryBefore(const ZipEntrySummary &a, const ZipEntrySummary &b)
{
    return std::tie(a.name, a.type, a.mode, a.link, a.size) < std::tie(b.name, b.type, b.mode, b.link, b.size);
}

QString describe(const ZipEntrySummary &e)
{
    return QStringLiteral("\"%1\" (type %2, mode %3, %4 bytes%5)")
        .arg(e.name)
        .arg(e.type, 0, 8)
        .arg(e.mode, 0, 8)
        .arg(e.size)
        .arg(e.link.isEmpty() ? QString() : QStringLiteral(", link to \"%1\"").arg(e.link));
}

bool isRegularFile(const QByteArray &path)
{
    struct stat status {};
    return ::lstat(path.constData(), &status) == 0 && S_ISREG(status.st_mode);
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(64 * 1024) : QByteArray();
}

// Most archives (Info-ZIP's, the Mac's) keep an entry's type and mode only in the central
// directory, so the streaming reader writes links as small files holding their targets and
// every file without its execute bit. Those two differences are mended in the tree from the
// central directory; any other one (a name, a size, another type) gives up the streamed tree.
// The modes given are normalised already.
QString mend(const QString &top, const ZipEntrySummary &streamed, const ZipEntrySummary &listed, bool *madeLink)
{
    const QString path = top + QLatin1Char('/') + listed.name;
    const QByteArray encoded = QFile::encodeName(path);
    const bool sameFile = streamed.name == listed.name && streamed.type == AE_IFREG && isRegularFile(encoded);
    if (sameFile && listed.type == AE_IFREG && streamed.size == listed.size) {
        if (::chmod(encoded.constData(), listed.mode) == 0)
            return {};
    } else if (sameFile && listed.type == AE_IFLNK && ZipExtractor::linkStaysInside(listed.name, listed.link)
               && contentOf(path) == listed.link.toUtf8()) {
        *madeLink = true;
        if (::unlink(encoded.constData()) == 0 && ::symlink(listed.link.toUtf8().constData(), encoded.constData()) == 0)
            return {};
    }
    return QStringLiteral("streamed %1, the central directory says %2").arg(describe(streamed), describe(listed));
}

QString withoutTrailingSlash(QString name)
{
    while (name.endsWith(QLatin1Char('/')))
        name.chop(1);
    return name;
}

// Whether the stream read exactly the entries that the central directory lists: each streamed
// entry began at the local header of one directory record, with that record's name, checksum and
// size, and no record is left over. A central-directory reader then reads the same bytes from the
// same places as the stream did, so it makes the same tree.
QString sameExtents(const ZipExtentList &streamed, const QList<ZipDirectoryRecord> &listed)
{
    if (streamed.size() != listed.size())
        return QStringLiteral("%1 entries streamed, %2 in the central directory").arg(streamed.size()).arg(listed.size());
    QHash<quint64, const ZipDirectoryRecord *> byOffset;
    for (const ZipDirectoryRecord &record : listed) {
        if (byOffset.contains(record.headerOffset))
            return QStringLiteral("two entries of the central directory share the local header at byte %1").arg(record.headerOffset);
        byOffset.insert(record.headerOffset, &record);
    }
    for (const ZipEntryExtent &entry : streamed) {
        const auto found = entry.headerOffset >= 0 ? byOffset.find(quint64(entry.headerOffset)) : byOffset.end();
        if (found == byOffset.end())
            return QStringLiteral("the central directory lists no entry at the local header of \"%1\" (byte %2)")
                .arg(entry.name)
                .arg(entry.headerOffset);
        const ZipDirectoryRecord &record = **found;
        const QString listedName = withoutTrailingSlash(QString::fromUtf8(record.name));
        if (listedName != entry.name || record.crc32 != entry.crc32 || record.size != entry.size)
            return QStringLiteral("streamed \"%1\" (%2 bytes, CRC-32 %3), the central directory says \"%4\" (%5 bytes, CRC-32 %6)")
                .arg(entry.name)
                .arg(entry.size)
                .arg(entry.crc32, 8, 16, QLatin1Char('0'))
                .arg(listedName)
                .arg(record.size)
                .arg(record.crc32, 8, 16, QLatin1Char('0'));
        byOffset.erase(found);
    }
    return {};
}

// Brings the streamed tree in line with the central directory, or says why it cannot.
QString reconcile(const QString &top, ZipEntryList streamed, ZipEntryList listed)
{
    if (streamed.size() != listed.size())
        return QStringLiteral("%1 entries streamed, %2 in the central directory").arg(streamed.size()).arg(listed.size());
    std::sort(streamed.begin(), streamed.end(), entryBefore);
    std::sort(listed.begin(), listed.end(), entryBefore);
    bool madeLink = false;
    for (qsizetype i = 0; i < streamed.size(); ++i) {
        if (streamed[i] == listed[i])
            continue;
        const QString problem = mend(top, streamed[i], listed[i], &madeLink);
        if (!problem.isEmpty())
            return problem;
    }
    // A link made here is checked the way extraction checks every link: in the tree as it stands.
    QString treeError;
    if (madeLink && !ExtractedTree::checkLinks(top, &treeError))
        return treeError;
    return {};
}

}  // namespace

StreamingZipExtraction::StreamingZipExtraction(const QString &bodyPath, const QString &destination)
    : bodyPath_(bodyPath), destination_(destination)
{
}

StreamingZipExtraction::~StreamingZipExtraction()
{
    stop();
    if (file_ >= 0)
        ::close(file_);
}

void StreamingZipExtraction::start()
{
    block_.reset(new char[kReadBlock]);
    thread_ = std::thread([this] { platform::ThreadCrash::run(QStringLiteral("Streamed extraction"), [this] { run(); }); });
}

void StreamingZipExtraction::bytesWritten(qint64 count)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        // Opened here, once, while the file surely has its working name: a short body can be
        // complete and renamed before the extraction thread first gets to run.
        if (file_ < 0)
            file_ = ::open(QFile::encodeName(bodyPath_).constData(), O_RDONLY | O_CLOEXEC);
        available_ += count;
    }
    changed_.notify_one();
}

void StreamingZipExtraction::restarted()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        available_ = 0;
        ++generation_;
    }
    changed_.notify_one();
}

void StreamingZipExtraction::cancel()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
    }
    changed_.notify_one();
}

void StreamingZipExtraction::stop()
{
    cancel();
    if (thread_.joinable())
        thread_.join();
}

bool StreamingZipExtraction::stopRequested() const
{
    return cancelled_ || (externalCancel_ && externalCancel_->load(std::memory_order_relaxed));
}

bool StreamingZipExtraction::finish(const QString &finishedArchive, QString *why)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        complete_ = true;
    }
    changed_.notify_one();
    if (thread_.joinable())
        thread_.join();
    {
        // Read no more: closed now, so that the body's removal frees its pages at once.
        const std::lock_guard<std::mutex> lock(mutex_);
        if (file_ >= 0)
            ::close(file_);
        file_ = -1;
    }
    if (!extracted_) {
        *why = error_;
        return false;
    }
    // Where each entry lies and what it holds first: nothing of the tree is mended for an archive
    // whose two readings differ.
    QList<ZipDirectoryRecord> records;
    if (!ZipCentralDirectory::read(finishedArchive, &records, why))
        return false;
    *why = sameExtents(extents_, records);
    if (!why->isEmpty())
        return false;
    ZipEntryList listed;
    if (!ZipExtractor::listEntries(finishedArchive, &listed, why))
        return false;
    *why = reconcile(destination_, entries_, listed);
    return why->isEmpty();
}

void StreamingZipExtraction::run()
{
    for (;;) {
        quint64 generation = 0;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            generation = generation_;
        }
        platform::TreeRemoval::remove(destination_, nullptr);  // through folder handles; links are not followed
        position_ = 0;
        entries_.clear();
        extents_.clear();
        ZipExtractor extractor;
        extractor.setSpaceLimit(spaceLimit_);
        extractor.setCancelFlag(&cancelled_);
        extractor.recordEntries(&entries_);
        extractor.recordExtents(&extents_);
        extracted_ = extractor.extractStream(
            [this, generation](const char **data) { return readNext(generation, data); }, destination_);
        error_ = extractor.errorString();

        // The reader stops at the central directory, before the body ends: the body may still
        // start over, and then so does the extraction.
        std::unique_lock<std::mutex> lock(mutex_);
        while (!(complete_ || stopRequested() || generation_ != generation))
            changed_.wait_for(lock, kCancelPoll);
        if (stopRequested() || generation_ == generation)
            return;
    }
}

qint64 StreamingZipExtraction::readNext(quint64 generation, const char **data)
{
    qint64 wanted = 0;
    int file = -1;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        // The other stop flag has no way to wake this wait: look at it now and then.
        while (!(stopRequested() || generation_ != generation || available_ > position_ || complete_))
            changed_.wait_for(lock, kCancelPoll);
        if (stopRequested() || generation_ != generation)
            return -1;
        wanted = std::min(available_ - position_, kReadBlock);
        file = file_;
    }
    if (wanted <= 0)
        return 0;  // the whole body has been read
    if (file < 0)
        return -1;
    const ssize_t got = ::pread(file, block_.get(), size_t(wanted), position_);
    if (got <= 0)
        return -1;  // emptied under us (the body starts over) or a read error
    position_ += got;
    *data = block_.get();
    return got;
}

}  // namespace archives
