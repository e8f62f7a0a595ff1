#pragma once

#include <QString>

#include <atomic>
#include <limits>

namespace platform {

// Extracts a ZIP archive with libarchive into a destination folder and refuses anything that
// could escape or harm it: absolute paths, "..", links that lead outside, hard links, device
// files, FIFOs, and more bytes than the space it may use. Modes end normalised (files 0644, or
// 0755 when executable; folders 0755) and every link is checked by resolving it in the tree.
class ZipExtractor {
public:
    void setSpaceLimit(quint64 bytes) { spaceLimit_ = bytes; }
    // Checked before every entry and every block: once it reads true, extraction stops and fails
    // with wasCancelled() set. The flag is read from the extracting thread only.
    void setCancelFlag(const std::atomic<bool> *cancelled) { cancelled_ = cancelled; }
    bool wasCancelled() const { return wasCancelled_; }

    // The destination is created if needed. On failure, whatever was written stays for the
    // caller to remove and errorString() says why.
    [[nodiscard]] bool extract(const QString &archivePath, const QString &destination);
    QString errorString() const { return error_; }

    // Entry names are relative, use "/" and never step above the top.
    static bool isSafeRelativePath(const QString &path);
    // Whether a symbolic link at entryPath with the given target stays inside the top folder.
    static bool linkStaysInside(const QString &entryPath, const QString &target);

private:
    bool fail(const QString &message);
    bool cancelRequested();

    quint64 spaceLimit_ = std::numeric_limits<quint64>::max();
    QString error_;
    const std::atomic<bool> *cancelled_ = nullptr;
    bool wasCancelled_ = false;
};

}  // namespace platform
