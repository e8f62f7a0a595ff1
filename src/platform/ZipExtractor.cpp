#include "platform/ZipExtractor.h"

#include "platform/ExtractedTree.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>

#include <clocale>
#include <memory>

namespace platform {
namespace {

using ReadArchive = std::unique_ptr<archive, int (*)(archive *)>;
using WriteArchive = std::unique_ptr<archive, int (*)(archive *)>;

constexpr size_t kBlockSize = 64 * 1024;

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
    // Walk the target from the link's own folder; the depth may never drop below the top.
    QStringList parts = entryPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
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

bool ZipExtractor::extract(const QString &archivePath, const QString &destination)
{
    error_.clear();
    wasCancelled_ = false;
    if (!QDir().mkpath(destination))
        return fail(QStringLiteral("cannot create %1").arg(destination));
    const QString top = QDir(destination).canonicalPath();
    if (top.isEmpty())
        return fail(QStringLiteral("cannot resolve %1").arg(destination));

    // Before the reader and the writer exist: they pick their name conversions when made.
    const Utf8CharacterLocale utf8Names;
    ReadArchive reader(archive_read_new(), archive_read_free);
    archive_read_support_format_zip(reader.get());
    // Names without the ZIP "UTF-8" flag (what the Mac's own tools write) are UTF-8 too.
    archive_read_set_format_option(reader.get(), "zip", "hdrcharset", "UTF-8");
    if (archive_read_open_filename(reader.get(), QFile::encodeName(archivePath).constData(), 10240) != ARCHIVE_OK)
        return fail(QStringLiteral("cannot open %1: %2").arg(archivePath, archiveError(reader.get())));

    WriteArchive writer(archive_write_disk_new(), archive_write_free);
    archive_write_disk_set_options(writer.get(),
        ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_SECURE_SYMLINKS
            | ARCHIVE_EXTRACT_SECURE_NODOTDOT
            | ARCHIVE_EXTRACT_NO_OVERWRITE);  // paths are checked above; targets are absolute by construction
    archive_write_disk_set_standard_lookup(writer.get());

    quint64 written = 0;
    qsizetype entries = 0;
    std::unique_ptr<char[]> block(new char[kBlockSize]);
    for (;;) {
        if (cancelRequested())
            return false;
        archive_entry *entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status < ARCHIVE_WARN)
            return fail(QStringLiteral("broken archive: %1").arg(archiveError(reader.get())));
        ++entries;

        const char *rawName = archive_entry_pathname_utf8(entry);
        if (!rawName)
            rawName = archive_entry_pathname(entry);
        const QString name = rawName ? QString::fromUtf8(rawName) : QString();
        if (!isSafeRelativePath(name))
            return fail(QStringLiteral("refused entry with an unsafe path: %1").arg(name));

        const mode_t type = archive_entry_filetype(entry);
        if (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK)
            return fail(QStringLiteral("refused special file: %1").arg(name));
        if (archive_entry_hardlink(entry))
            return fail(QStringLiteral("refused hard link: %1").arg(name));
        if (type == AE_IFLNK) {
            const char *target = archive_entry_symlink(entry);
            if (!target || !linkStaysInside(name, QString::fromUtf8(target)))
                return fail(QStringLiteral("refused link that leaves the folder: %1").arg(name));
        }
        if (archive_entry_size_is_set(entry) && quint64(archive_entry_size(entry)) > spaceLimit_ - written)
            return fail(QStringLiteral("not enough space for %1").arg(name));

        // Nobody but the owner may write what lands here, and no set-id or sticky bit survives.
        archive_entry_set_perm(entry, ExtractedTree::normalisedMode(archive_entry_perm(entry), type == AE_IFDIR));
        const QByteArray target = QFile::encodeName(top + QLatin1Char('/') + name);
        archive_entry_set_pathname(entry, target.constData());
        if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN)
            return fail(QStringLiteral("cannot write %1: %2").arg(name, archiveError(writer.get())));

        if (type == AE_IFREG) {
            for (;;) {
                if (cancelRequested())
                    return false;
                const la_ssize_t got = archive_read_data(reader.get(), block.get(), kBlockSize);
                if (got == 0)
                    break;
                if (got < 0)
                    return fail(QStringLiteral("broken archive at %1: %2").arg(name, archiveError(reader.get())));
                written += quint64(got);
                // The announced sizes may lie: count what really arrives.
                if (written > spaceLimit_)
                    return fail(QStringLiteral("not enough space for %1").arg(name));
                if (archive_write_data(writer.get(), block.get(), size_t(got)) != got)
                    return fail(QStringLiteral("cannot write %1: %2").arg(name, archiveError(writer.get())));
            }
        }
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN)
            return fail(QStringLiteral("cannot finish %1: %2").arg(name, archiveError(writer.get())));
    }
    if (entries == 0)
        return fail(QStringLiteral("empty or unreadable archive %1").arg(archivePath));
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        return fail(QStringLiteral("cannot finish extraction: %1").arg(archiveError(writer.get())));
    // Folders made on the way carry the umask's mode, and a link read as text can still climb out
    // through other links: check the finished tree as it really stands.
    QString treeError;
    if (!ExtractedTree::normaliseModes(top, &treeError) || !ExtractedTree::checkLinks(top, &treeError))
        return fail(treeError);
    return true;
}

}  // namespace platform
