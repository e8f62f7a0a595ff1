#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace platform {

// Files of the person in their home folder (run log, version file and their folders). When the
// installer runs as root, maybe for someone else (sudo, pkexec), below the home folder no link is
// followed and every folder and file used must belong to the person or to root; what is made for the
// person is given to them. Paths outside the home folder get the same rules from their own folder
// down. Run by the person, their own links are followed as any program would.
class PersonalFiles {
public:
    // A descriptor (O_PATH) of folder, made (mode 0700) with what is missing of it when create is
    // set. -1 with a reason.
    static int openFolder(const QString &folder, bool create, QString *error);
    // Opens name inside the folder descriptor with flags (O_CLOEXEC added, and O_NOFOLLOW as root);
    // a regular file (owned by the person or root, as root). -1 with a reason.
    static int openIn(int folder, const QString &name, int flags, mode_t mode, QString *error);
    // openFolder of the path's folder, then openIn.
    static int open(const QString &path, int flags, mode_t mode, QString *error);
    // Replaces the file at path whole (a new file renamed over the old name; a link there is
    // replaced, never followed). Makes its folder.
    [[nodiscard]] static bool writeWhole(const QString &path, const QByteArray &content, QString *error);

    PersonalFiles() = delete;
};

}  // namespace platform
