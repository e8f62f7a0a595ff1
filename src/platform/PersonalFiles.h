#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace platform {

// Files of the person in their home folder (run log, version file, app caches and their folders).
// When the installer runs as root, maybe for someone else (sudo, pkexec), below the home folder no
// link is followed, every folder used must belong to the person or to root, and every file used must
// be a regular file with a single link that belongs to the person: a hard link to a file of root's,
// or a file of root's the person could not have made, is never read, written or given away. Only
// what root has just created (O_EXCL) is given to the person. Paths outside the home folder get the
// same rules from their own folder down. Run by the person, their own links are followed as any
// program would.
class PersonalFiles {
public:
    // A descriptor (O_PATH) of folder, made (mode 0700) with what is missing of it when create is
    // set. -1 with a reason.
    static int openFolder(const QString &folder, bool create, QString *error);
    // Opens name inside the folder descriptor with flags (O_CLOEXEC added, and O_NOFOLLOW as root);
    // a regular file (as root: with one link, the person's, or just created by this call). -1 with a
    // reason.
    static int openIn(int folder, const QString &name, int flags, mode_t mode, QString *error);
    // openFolder of the path's folder, then openIn.
    static int open(const QString &path, int flags, mode_t mode, QString *error);
    // Replaces the file at path whole (a new file renamed over the old name; a link there is
    // replaced, never followed). Makes its folder.
    [[nodiscard]] static bool writeWhole(const QString &path, const QByteArray &content, QString *error);
    // Removes the file at path (the run log) through its folder's handle. As root, only a file
    // that openIn would use; anything else stays. True when nothing is left at path.
    [[nodiscard]] static bool removeFile(const QString &path, QString *error);
    // Removes the file, link or folder tree at path (an app cache) through folder handles opened
    // without following links (TreeRemoval). False with a reason when nothing was there, too.
    [[nodiscard]] static bool removeTree(const QString &path, QString *error);

    PersonalFiles() = delete;
};

}  // namespace platform
