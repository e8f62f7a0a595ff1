#pragma once
// Folders only this user may enter (mode 0700, owned by the real user id), such as the private
// temporary folder and the short folder of the single-instance socket. In a shared folder like
// /tmp anyone may have made the name first, so a folder counts only after it was checked.

#include <QString>

namespace platform {

class PrivateDirectory {
public:
    // A real directory (not a link) owned by this user with mode 0700.
    static bool isPrivate(const QString &path);
    // Makes path with mode 0700 unless it exists; true when it is then private.
    static bool ensure(const QString &path);

    PrivateDirectory() = delete;
};

}  // namespace platform
