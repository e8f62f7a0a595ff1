#pragma once

#include <QString>

namespace platform {

// Makes a placement survive a power cut, as package managers do: the new bundle's files and
// folders reach the disk before the rename that swaps it in, the folder holding the rename
// reaches it afterwards, and only then is the installed build recorded. Otherwise the record
// could say a build is installed whose files are still empty on disk.
class DurableFiles {
public:
    // Everything written to the file system that holds path reaches the disk: one syncfs, which
    // costs far less than a flush per file for a bundle of thousands of files.
    [[nodiscard]] static bool syncFileSystemOf(const QString &path, QString *error);
    // The entries of folder (a rename into or out of it) reach the disk.
    [[nodiscard]] static bool syncFolder(const QString &folder, QString *error);

    DurableFiles() = delete;
};

}  // namespace platform
