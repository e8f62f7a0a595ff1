#pragma once
#include "telemetry/CoreGlobal.h"

#include <QByteArray>
#include <QString>

// The file work of an installation: the temporary names of a download, removing what is at a
// name without following links, moving the product bundle into place and the version file.
// Only files and folders; no records, no events, safe to call from a worker thread.
class QSInstallFiles {
public:
    // "<private temporary folder>/downloadedFile.tmp"
    static QString archivePath();
    // Where the body is written while it arrives; renamed to archivePath once complete.
    static QString partialPathFor(const QString &archivePath);
    // The archive path without its extension plus "_unzip": ".../downloadedFile_unzip".
    static QString extractionDirectoryFor(const QString &archivePath);

    // Removes whatever is at path (file, folder tree, link, special file). A link is removed
    // itself, never followed. False when something stays; a missing path counts as removed.
    static bool removePath(const QString &path);
    // The same on a thread of its own, for a file large enough that freeing its blocks takes a
    // noticeable time (about 0.2 s for 1 GiB). The path is renamed aside at once.
    static void removePathInBackground(const QString &path);
    // Blocks until every background removal has ended: the end of a run leaves no temporary file.
    static void waitForBackgroundRemovals();

    // Moves the bundle folder `source` to `target` with a rename, or by copying and then removing
    // the source when the two lie on different file systems. The bundle is assembled under a
    // hidden name beside the target and only then renamed into place, so a failure never leaves a
    // partial bundle at the target; an existing target is replaced as a whole, never nested into.
    // The new bundle reaches the disk before that rename and the target's folder after it, so the
    // version file, written next, never tells of a bundle that a power cut could empty.
    [[nodiscard]] static bool placeBundle(const QString &source, const QString &target, QString *error);

    // The version file's bytes: a pretty-printed JSON object {"version": <version>}.
    static QByteArray versionFileContent(const QString &version);
    // Writes the version file atomically (the whole file replaced); creates its folder.
    [[nodiscard]] static bool writeVersionFile(const QString &path, const QString &version, QString *error);

    QSInstallFiles() = delete;
};
