#include "BundlePlacement.h"

#include "ArchiveReceiver.h"
#include "StagingFolder.h"
#include "archive/BundleShape.h"
#include "archive/BundleVersion.h"
#include "archive/ExtractedTree.h"
#include "archive/ZipExtractor.h"
#include "platform/DesktopEntry.h"
#include "platform/DurableFiles.h"
#include "platform/PlacementLock.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace archives::placement;

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

quint64 freeBytes(const QString &folder)
{
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(folder).constData(), &info) != 0)
        return 0;
    return quint64(info.f_bavail) * quint64(info.f_frsize);
}

}  // namespace

void BundlePlacement::report(const QByteArray &line) const
{
    if (report_)
        report_(line);
}

Status BundlePlacement::fail(Status status, const QString &message)
{
    error_ = message;
    return status;
}

QString BundlePlacement::targetPath() const
{
    return settings_.bundlePath();
}

bool BundlePlacement::prepareApplicationsFolder(QString *error) const
{
    const QString folder = settings_.applicationsDirectory;
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    struct stat info {};
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = QStringLiteral("%1 is not a folder").arg(folder);
        return false;
    }
    return true;
}

Status BundlePlacement::run(int input)
{
    QString error;
    if (!prepareApplicationsFolder(&error))
        return fail(PlaceFailed, error);
    // The archive arrives while the installer downloads it, into a hidden staging folder that goes
    // with the helper: nothing visible appears in the applications folder before the bundle.
    ArchiveReceiver receiver(settings_.archivePublicKey, quint64(settings_.maxArchiveBytes), settings_.applicationsDirectory);
    const Status header = receiver.receiveHeader(input);
    if (header != Placed)
        return fail(header, receiver.errorString());
    const StagingFolder staging(settings_.applicationsDirectory, settings_.bundleName);
    if (staging.path().isEmpty())
        return fail(PlaceFailed, staging.error());
    return placeFrom(staging.path(), input, receiver);
}

Status BundlePlacement::placeFrom(const QString &staging, int input, ArchiveReceiver &receiver)
{
    const QString archivePath = staging + QStringLiteral("/archive.zip");
    const int archiveFd = ::open(QFile::encodeName(archivePath).constData(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (archiveFd < 0)
        return fail(PlaceFailed, QStringLiteral("cannot store the archive: %1").arg(systemError()));
    const Status received = receiver.receiveArchive(input, archiveFd);
    const bool closed = ::close(archiveFd) == 0;
    if (received != Placed)
        return fail(received, receiver.errorString());
    if (!closed)
        return fail(PlaceFailed, QStringLiteral("cannot store the archive: %1").arg(systemError()));
    // The comment is one line by the signature's own format; a line break would end the line.
    report(QByteArray(kCommentPrefix) + receiver.trustedComment().replace('\n', ' '));
    report(kVerifiedLine);

    const QString content = staging + QStringLiteral("/content");
    report(QByteArray(kExtractingPrefix) + QFile::encodeName(content));
    archives::ZipExtractor extractor;
    extractor.setSpaceLimit(freeBytes(staging));
    extractor.setMaxArchiveBytes(quint64(settings_.maxArchiveBytes));
    if (!extractor.extract(archivePath, content))
        return fail(ExtractFailed, extractor.errorString());
    QFile::remove(archivePath);

    const QString bundle = content + QLatin1Char('/') + settings_.bundleName;
    // The bundle leaves the extraction folder: the rule the installer's own placement follows too.
    QString error;
    if (!archives::BundleShape::checkBeforePlacing(bundle, &error))
        return fail(BadBundle, error);
    report(QByteArray(kStagingPrefix) + QFile::encodeName(content));
    // From the version check to the swap no other placement or removal of this bundle runs:
    // otherwise one that checked against an older bundle could swap in after a newer one.
    const platform::PlacementLock lock(targetPath());
    if (!lock.isHeld())
        return fail(PlaceFailed, lock.errorString());
    const QString older = archives::BundleVersion::refusalToReplace(targetPath(), bundle);
    if (!older.isEmpty())
        return fail(OlderVersion, older);
    if (!archives::ExtractedTree::setOwner(bundle, 0, 0, &error) || ::chmod(QFile::encodeName(bundle).constData(), 0755) != 0)
        return fail(PlaceFailed, error.isEmpty() ? QStringLiteral("cannot set the bundle's mode") : error);
    // The new bundle is on disk before it is swapped in, and the swap is before the answer.
    if (!platform::DurableFiles::syncFileSystemOf(bundle, &error) || !swapInto(bundle, &error)
        || !platform::DurableFiles::syncFolder(settings_.applicationsDirectory, &error))
        return fail(PlaceFailed, error);
    // The product is placed whatever happens to its menu entry; a missing entry is only reported.
    if (!settings_.menuFolder.isEmpty()
        && !platform::DesktopEntry::update(targetPath(), settings_.productName, settings_.menuFolder, &error,
                                                   settings_.installerExecutable))
        std::fprintf(stderr, "tiny-installer-helper: no menu entry for %s: %s\n", qPrintable(targetPath()), qPrintable(error));
    return Placed;
}

bool BundlePlacement::swapInto(const QString &bundle, QString *error) const
{
    const QByteArray from = QFile::encodeName(bundle);
    const QByteArray to = QFile::encodeName(targetPath());
    // No bundle yet: a rename that never replaces. One already there (or appearing meanwhile):
    // exchange the two in one step; the old one is then at `from` and goes with the staging folder.
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST
        && ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0)
        return true;
    *error = QStringLiteral("cannot move the bundle to %1: %2").arg(targetPath(), systemError());
    return false;
}
