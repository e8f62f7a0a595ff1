#include "archive/ZipExtractor.h"

#include "archive/ExtractedTree.h"
#include "archive/ExtractionWriter.h"
#include "platform/FreeSpaceMargin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <climits>
#include <clocale>
#include <memory>
#include <optional>

namespace archives {
namespace {

using ReadArchive = std::unique_ptr<archive, int (*)(archive *)>;

constexpr size_t kBlockSize = 64 * 1024;
// Folders within folders an entry may name; each level holds a handle while it is written.
constexpr qsizetype kMaxDepth = 128;
// How often the destination's free margin is looked at while writing: after this many entries or
// bytes, whichever comes first. The margin is asked to hold this much more, so it holds between.
constexpr quint64 kMarginCheckEntries = 512;
constexpr quint64 kMarginCheckBytes = quint64(8) << 20;

QString archiveError(archive *a)
{
    const char *text = archive_error_string(a);
    return text ? QString::fromUtf8(text) : QStringLiteral("unknown archive error");
}

// libarchive converts entry names between the archive's charset and the current LC_CTYPE; under
// "C" or a locale that is not installed, a UTF-8 name cannot be converted and comes back empty.
// Archives from a Mac carry UTF-8 names, so this thread reads and writes names as UTF-8 for the
// whole extraction, whatever the process locale says.
class Utf8CharacterLocale {
public:
    Utf8CharacterLocale()
    {
        for (const char *name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            locale_ = ::newlocale(LC_CTYPE_MASK, name, locale_t(nullptr));
            if (locale_) {
                previous_ = ::uselocale(locale_);
                return;
            }
        }
    }
    ~Utf8CharacterLocale()
    {
        if (!locale_)
            return;
        ::uselocale(previous_);
        ::freelocale(locale_);
    }
    Utf8CharacterLocale(const Utf8CharacterLocale &) = delete;
    Utf8CharacterLocale &operator=(const Utf8CharacterLocale &) = delete;

private:
    locale_t locale_ = nullptr;
    locale_t previous_ = nullptr;
};

// Names without the ZIP "UTF-8" flag (what the Mac's own tools write) are UTF-8 too.
void readNamesAsUtf8(archive *reader)
{
    archive_read_set_format_option(reader, "zip", "hdrcharset", "UTF-8");
}

QString entryName(archive_entry *entry)
{
    const char *rawName = archive_entry_pathname_utf8(entry);
    if (!rawName)
        rawName = archive_entry_pathname(entry);
    return rawName ? QString::fromUtf8(rawName) : QString();
}

QString withoutTrailingSlash(QString name)
{
    while (name.endsWith(QLatin1Char('/')))
        name.chop(1);
    return name;
}

la_ssize_t readFromSource(archive *reader, void *client, const void **buffer)
{
    const char *data = nullptr;
    const qint64 count = (*static_cast<const ZipExtractor::StreamSource *>(client))(&data);
    if (count < 0) {
        archive_set_error(reader, EIO, "the archive's bytes stopped coming");
        return -1;
    }
    *buffer = data;
    return la_ssize_t(count);
}

}  // namespace

bool ZipExtractor::fail(const QString &message)
{
    error_ = message;
    return false;
}

bool ZipExtractor::cancelRequested()
{
    if (!cancelled_ || !cancelled_->load(std::memory_order_relaxed))
        return false;
    wasCancelled_ = true;
    error_ = QStringLiteral("extraction cancelled");
    return true;
}

bool ZipExtractor::isSafeRelativePath(const QString &path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')) || path.contains(QLatin1Char('\\'))
        || path.contains(QChar(0)))
        return false;
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return false;
    for (const QString &part : parts) {
        if (part == QLatin1String(".."))
            return false;
    }
    return true;
}

bool ZipExtractor::linkStaysInside(const QString &entryPath, const QString &target)
{
    if (target.isEmpty() || target.startsWith(QLatin1Char('/')))
        return false;
    // Walk the target from the link's own folder; the depth may never drop below the top. "."
    // in the link's own name adds no depth.
    QStringList parts = entryPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    parts.removeAll(QStringLiteral("."));
    if (!parts.isEmpty())
        parts.removeLast();
    qsizetype depth = parts.size();
    for (const QString &part : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (--depth < 0)
                return false;
        } else {
            ++depth;
        }
    }
    return true;
}

bool ZipExtractor::prepareDestination(const QString &destination, QString *top)
{
    error_.clear();
    wasCancelled_ = false;
    if (!QDir().mkpath(destination))
        return fail(QStringLiteral("cannot create %1").arg(destination));
    *top = QDir(destination).canonicalPath();
    if (top->isEmpty())
        return fail(QStringLiteral("cannot resolve %1").arg(destination));
    return true;
}

bool ZipExtractor::extract(const QString &archivePath, const QString &destination)
{
    QString top;
    if (!prepareDestination(destination, &top))
        return false;
    // Before the reader exists: it picks its name conversions when made.
    const Utf8CharacterLocale utf8Names;
    ReadArchive owned(archive_read_new(), archive_read_free);
    archive *reader = owned.get();
    archive_read_support_format_zip(reader);
    readNamesAsUtf8(reader);
    if (archive_read_open_filename(reader, QFile::encodeName(archivePath).constData(), 10240) != ARCHIVE_OK)
        return fail(QStringLiteral("cannot open %1: %2").arg(archivePath, archiveError(reader)));
    const quint64 maxTotal = limits::maxExtractedBytes(quint64(QFileInfo(archivePath).size()), maxArchiveBytes_);
    if (!directoryWithinBounds(archivePath, top, maxTotal))
        return false;
    return extractFrom(reader, top, archivePath, maxTotal);
}

bool ZipExtractor::directoryWithinBounds(const QString &archivePath, const QString &top, quint64 maxTotal)
{
    ZipEntryList listed;
    QString error;
    if (!listEntries(archivePath, &listed, &error))
        return fail(QStringLiteral("broken archive: %1").arg(error));
    if (quint64(listed.size()) > maxEntries_)
        return fail(QStringLiteral("refused archive of %1 entries, more than %2").arg(listed.size()).arg(maxEntries_));
    quint64 total = 0;
    for (const ZipEntrySummary &entry : std::as_const(listed)) {
        total += entry.size;
        if (total > maxTotal)
            return fail(QStringLiteral("refused archive that inflates to more than %1 bytes").arg(maxTotal));
    }
    QString why;
    if (!platform::FreeSpaceMargin::keepsMargin(top, total, quint64(listed.size()), &why))
        return fail(why);
    return true;
}

bool ZipExtractor::marginKept(const QString &top, quint64 entries, quint64 written)
{
    if (entries < checkedEntries_ + kMarginCheckEntries && written < checkedBytes_ + kMarginCheckBytes)
        return true;
    checkedEntries_ = entries;
    checkedBytes_ = written;
    QString why;
    return platform::FreeSpaceMargin::keepsMargin(top, kMarginCheckBytes, kMarginCheckEntries, &why) || fail(why);
}

bool ZipExtractor::extractStream(const StreamSource &read, const QString &destination)
{
    QString top;
    if (!prepareDestination(destination, &top))
        return false;
    const Utf8CharacterLocale utf8Names;
    ReadArchive owned(archive_read_new(), archive_read_free);
    archive *reader = owned.get();
    // Only the local headers: the central directory comes last, after every entry's data.
    archive_read_support_format_zip_streamable(reader);
    readNamesAsUtf8(reader);
    if (archive_read_open(reader, const_cast<StreamSource *>(&read), nullptr, readFromSource, nullptr) != ARCHIVE_OK)
        return fail(QStringLiteral("cannot read the stream: %1").arg(archiveError(reader)));
    // The stream's length is not known here: its bound follows from the maximum alone.
    return extractFrom(reader, top, QStringLiteral("stream"), limits::maxExtractedBytes(0, maxArchiveBytes_));
}

bool ZipExtractor::listEntries(const QString &archivePath, ZipEntryList *entries, QString *error)
{
    const Utf8CharacterLocale utf8Names;
    ReadArchive owned(archive_read_new(), archive_read_free);
    archive *reader = owned.get();
    archive_read_support_format_zip_seekable(reader);
    readNamesAsUtf8(reader);
    auto failed = [&](const QString &what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(what, archiveError(reader));
        return false;
    };
    if (archive_read_open_filename(reader, QFile::encodeName(archivePath).constData(), 10240) != ARCHIVE_OK)
        return failed(QStringLiteral("cannot open %1").arg(archivePath));
    entries->clear();
    for (;;) {
        archive_entry *entry = nullptr;
        const int status = archive_read_next_header(reader, &entry);
        if (status == ARCHIVE_EOF)
            return true;
        if (status < ARCHIVE_WARN)
            return failed(QStringLiteral("broken archive"));
        const mode_t type = archive_entry_filetype(entry);
        const char *target = archive_entry_symlink(entry);
        entries->append({withoutTrailingSlash(entryName(entry)), type,
                         ExtractedTree::normalisedMode(archive_entry_perm(entry), type == AE_IFDIR),
                         target ? QString::fromUtf8(target) : QString(),
                         type == AE_IFREG ? quint64(archive_entry_size(entry)) : 0});
        if (archive_read_data_skip(reader) < ARCHIVE_WARN)
            return failed(QStringLiteral("broken archive"));
    }
}

bool ZipExtractor::extractFrom(archive *reader, const QString &top, const QString &source, quint64 maxTotal)
{
    ExtractionWriter writer(top);
    if (!writer.isOpen())
        return fail(writer.errorString());

    quint64 written = 0;
    quint64 entries = 0;
    checkedEntries_ = checkedBytes_ = 0;
    QString why;
    if (!platform::FreeSpaceMargin::keepsMargin(top, kMarginCheckBytes, kMarginCheckEntries, &why))
        return fail(why);
    std::unique_ptr<char[]> block(new char[kBlockSize]);
    for (;;) {
        if (cancelRequested())
            return false;
        archive_entry *entry = nullptr;
        const int status = archive_read_next_header(reader, &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status < ARCHIVE_WARN)
            return fail(QStringLiteral("broken archive: %1").arg(archiveError(reader)));
        if (++entries > maxEntries_)
            return fail(QStringLiteral("refused archive of more than %1 entries").arg(maxEntries_));
        if (!marginKept(top, entries, written))
            return false;
        // Where libarchive began to read this entry's header; with the checksum below, what the
        // streamed tree is compared with.
        const qint64 headerOffset = archive_read_header_position(reader);
        quint32 checksum = 0;

        const QString name = entryName(entry);
        if (!isSafeRelativePath(name))
            return fail(QStringLiteral("refused entry with an unsafe path: %1").arg(name));
        // Every later step that works by path (the link check, the mending of a streamed tree,
        // the helper's change of owner) must be able to look at every name.
        if (QFile::encodeName(top + QLatin1Char('/') + name).size() >= PATH_MAX
            || name.count(QLatin1Char('/')) >= kMaxDepth)
            return fail(QStringLiteral("refused entry with a name too long or too deep: %1").arg(name.left(200)));

        const mode_t type = archive_entry_filetype(entry);
        if (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK)
            return fail(QStringLiteral("refused special file: %1").arg(name));
        if (archive_entry_hardlink(entry))
            return fail(QStringLiteral("refused hard link: %1").arg(name));
        const char *linkTarget = type == AE_IFLNK ? archive_entry_symlink(entry) : nullptr;
        const QString link = linkTarget ? QString::fromUtf8(linkTarget) : QString();
        if (type == AE_IFLNK && (!linkTarget || !linkStaysInside(name, link)))
            return fail(QStringLiteral("refused link that leaves the folder: %1").arg(name));
        if (archive_entry_size_is_set(entry) && quint64(archive_entry_size(entry)) > spaceLimit_ - written)
            return fail(QStringLiteral("not enough space for %1").arg(name));
        // Whatever the compressed data inflates to, an entry gets no more than it declares.
        const quint64 declared = archive_entry_size_is_set(entry) ? quint64(archive_entry_size(entry))
                                                                  : std::numeric_limits<quint64>::max();

        // Nobody but the owner may write what lands here, and no set-id or sticky bit survives.
        const mode_t mode = ExtractedTree::normalisedMode(archive_entry_perm(entry), type == AE_IFDIR);
        std::optional<timespec> modified;
        if (archive_entry_mtime_is_set(entry))
            modified = timespec{archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)};

        const quint64 writtenBefore = written;
        if (type == AE_IFDIR) {
            if (!writer.addFolder(name, mode, modified))
                return fail(writer.errorString());
        } else if (type == AE_IFLNK) {
            if (!writer.addLink(name, link, modified))
                return fail(writer.errorString());
            if (extents_) {
                const QByteArray target = link.toUtf8();
                checksum = quint32(::crc32(0, reinterpret_cast<const Bytef *>(target.constData()), uInt(target.size())));
            }
        } else {
            if (!writer.beginFile(name))
                return fail(writer.errorString());
            for (;;) {
                if (cancelRequested())
                    return false;
                const la_ssize_t got = archive_read_data(reader, block.get(), kBlockSize);
                if (got == 0)
                    break;
                if (got < 0)
                    return fail(QStringLiteral("broken archive at %1: %2").arg(name, archiveError(reader)));
                written += quint64(got);
                // The announced sizes may lie: count what really arrives.
                if (written - writtenBefore > declared)
                    return fail(QStringLiteral("refused entry that inflates past its declared %1 bytes: %2").arg(declared).arg(name));
                if (written > maxTotal)
                    return fail(QStringLiteral("refused archive that inflates to more than %1 bytes").arg(maxTotal));
                if (written > spaceLimit_)
                    return fail(QStringLiteral("not enough space for %1").arg(name));
                if (!marginKept(top, entries, written))
                    return false;
                if (!writer.write(block.get(), size_t(got)))
                    return fail(writer.errorString());
                if (extents_)
                    checksum = quint32(::crc32(checksum, reinterpret_cast<const Bytef *>(block.get()), uInt(got)));
            }
            if (!writer.endFile(mode, modified))
                return fail(writer.errorString());
        }
        if (recorded_)
            recorded_->append({withoutTrailingSlash(name), type, mode, link, written - writtenBefore});
        if (extents_)
            extents_->append({withoutTrailingSlash(name), headerOffset, checksum,
                              type == AE_IFLNK ? quint64(link.toUtf8().size()) : written - writtenBefore});
    }
    if (entries == 0)
        return fail(QStringLiteral("empty or unreadable archive %1").arg(source));
    if (!writer.finish())
        return fail(writer.errorString());
    // A link read as text can still climb out through other links: check the finished tree as it
    // really stands.
    QString treeError;
    if (!ExtractedTree::checkLinks(top, &treeError))
        return fail(treeError);
    return true;
}

}  // namespace archives
