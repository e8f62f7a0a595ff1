#pragma once
// The bounds every archive is held to, by the installer and by the privileged helper alike. The
// free margin kept on the file system written to is the platform's (platform/FreeSpaceMargin.h).
//
// The maximum archive size is a bundle setting ("kQSMaximumArchiveBytes" inside "QSConfig"), so a
// maker whose product outgrows the default raises it in the installer's own Info.plist, which the
// helper reads from its root-owned copy. The default leaves room for four times the largest
// product archive we have seen (about 1 GiB).
//
// The other bounds follow from it. An honest product archive holds a few thousand entries and
// inflates two to five times; a bomb holds hundreds of thousands of entries, or inflates a
// thousand times, or lies about its sizes. None of the bounds below comes near a real product.

#include <QtGlobal>

#include <algorithm>

namespace archives::limits {

inline constexpr qint64 kDefaultMaxArchiveBytes = qint64(4) << 30;  // 4 GiB

// Entries (files, folders, links) one archive may hold.
inline constexpr quint64 kMaxEntries = 100'000;

// What all entries together may inflate to: this many times the archive's own size, plus a small
// allowance for tiny archives of text, and never more than this many times the maximum archive.
inline constexpr quint64 kMaxInflationRatio = 20;
inline constexpr quint64 kInflationAllowanceBytes = quint64(16) << 20;  // 16 MiB

// The bound on the total extracted size of an archive of archiveBytes (unknown: 0) under a
// maximum archive size of maxArchiveBytes.
constexpr quint64 maxExtractedBytes(quint64 archiveBytes, quint64 maxArchiveBytes)
{
    const quint64 ceiling = maxArchiveBytes * kMaxInflationRatio;
    if (archiveBytes == 0)
        return ceiling;
    return std::min(ceiling, archiveBytes * kMaxInflationRatio + kInflationAllowanceBytes);
}

}  // namespace archives::limits
