#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Removes a file, a link or a whole folder tree through folder handles, never through paths:
// every folder is opened relative to the one that holds it without following links, looked at
// with fstatat and emptied with unlinkat, as ExtractionWriter writes. A link is removed itself,
// never followed, so nobody can swap a folder for a link on the way and have the removal carry
// into a folder of someone else's.
class TreeRemoval {
public:
    // Removes name inside the folder handle (which may be an O_PATH one). True when nothing is
    // left at the name (a missing name counts as removed); otherwise false and why.
    static bool removeAt(int folder, const QByteArray &name, QString *error);
    // Opens the folder that holds path (its own components resolved as any program would) and
    // removes the last component through it.
    static bool remove(const QString &path, QString *error);

    TreeRemoval() = delete;
};

}  // namespace platform
