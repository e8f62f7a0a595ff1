#pragma once

#include <QString>

namespace platform {

namespace limits {

// What the file system written to keeps free, in bytes and in inodes, before, while and after an
// archive and its tree are written there: other programs writing to the same folder never meet
// a full disk because of us.
inline constexpr quint64 kFreeMarginBytes = quint64(64) << 20;  // 64 MiB
inline constexpr quint64 kFreeMarginInodes = 4096;

}  // namespace limits

// Whether a file system keeps its free margin (limits::kFreeMarginBytes and kFreeMarginInodes)
// once a given amount more is written to it. Asked before an archive or its tree is written and
// again while it is, so the installer and the helper stop before they take the last free space of
// a folder other programs write to as well.
class FreeSpaceMargin {
public:
    // The file system that holds path (an existing file or folder). False, with why, when
    // writing bytes more and making inodes more files would leave less than the margin free, or
    // when the file system cannot be asked.
    [[nodiscard]] static bool keepsMargin(const QString &path, quint64 bytes, quint64 inodes, QString *why);

    FreeSpaceMargin() = delete;
};

}  // namespace platform
