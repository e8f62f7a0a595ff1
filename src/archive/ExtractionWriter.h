#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>
#include <ctime>
#include <optional>

namespace archives {

// Writes the entries of an archive below one folder through handles, never through paths: every
// folder on an entry's way is opened relative to the one before without following links, and
// files and links are created only where nothing is yet. So no link, whoever made it, can carry a
// write outside the top, and nothing already there is overwritten. An entry costs a handful of
// system calls, where a path-based writer looks at every component of every name again (about
// thirty calls per file, which is most of the time an archive of many small files takes).
//
// Folders it creates get mode 0755 whatever the umask; files and links get the mode they are
// given. On failure errorString() says why, and whatever was written stays for the caller.
class ExtractionWriter {
public:
    explicit ExtractionWriter(const QString &top);
    ~ExtractionWriter();
    ExtractionWriter(const ExtractionWriter &) = delete;
    ExtractionWriter &operator=(const ExtractionWriter &) = delete;

    bool isOpen() const { return top_ >= 0; }
    QString errorString() const { return error_; }

    // Names are relative to the top, with "/" between folders, and already known not to climb
    // above it ("." components are ignored; a folder named "." is the top, left as it is). A time,
    // when given, becomes the entry's access and modification time.
    [[nodiscard]] bool addFolder(const QString &name, mode_t mode, std::optional<timespec> modified);
    [[nodiscard]] bool addLink(const QString &name, const QString &target, std::optional<timespec> modified);
    [[nodiscard]] bool beginFile(const QString &name);
    [[nodiscard]] bool write(const char *data, size_t size);
    [[nodiscard]] bool endFile(mode_t mode, std::optional<timespec> modified);
    // Folder times are set last, once nothing more is written into the folders.
    [[nodiscard]] bool finish();

private:
    struct OpenFolder {
        QByteArray name;
        int fd = -1;
    };
    struct FolderTime {
        QList<QByteArray> parts;
        timespec modified {};
    };

    // The handle of the folder that parts[0, count) names, made (0755) where missing; -1 when a
    // component is a link, a file or cannot be made.
    int folder(const QList<QByteArray> &parts, qsizetype count, const QString &name);
    // The handle of the folder that holds the name's last component (given in *leaf), or -1.
    int parentFolder(const QString &name, QByteArray *leaf);
    // The name split into components, without empty and "." ones.
    static QList<QByteArray> components(const QString &name);
    void closeFolders(qsizetype keep);
    bool fail(const QString &name, const QString &what);
    bool failErrno(const QString &name, int error);

    int top_ = -1;
    QList<OpenFolder> chain_;  // the folders of the last entry, from the top down
    int file_ = -1;
    QString fileName_;
    QList<FolderTime> folderTimes_;
    QString error_;
};

}  // namespace archives
