#pragma once
// The bounds every archive is held to, by the installer and by the privileged helper alike.
//
// The maximum archive size is a bundle setting ("kQSMaximumArchiveBytes" inside "QSConfig"), so a
// maker whose product outgrows the default raises it in the installer's own Info.plist, which the
// helper reads from its root-owned copy. The default leaves room for four times the largest
// product archive we have seen (about 1 GiB).

#include <QtGlobal>

namespace platform::limits {

inline constexpr qint64 kDefaultMaxArchiveBytes = qint64(4) << 30;  // 4 GiB

// What the file system written to keeps free, in bytes and in inodes, before, while and after an
// archive and its tree are written there: other programs writing to the same folder never meet
// a full disk because of us.
inline constexpr quint64 kFreeMarginBytes = quint64(64) << 20;  // 64 MiB

}  // namespace platform::limits
