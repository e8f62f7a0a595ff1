#include "archive/BundleRemoval.h"

#include "platform/Bundle.h"
#include "platform/DesktopEntry.h"
#include "platform/DurableFiles.h"
#include "platform/PlacementLock.h"
#include "platform/TreeRemoval.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archives {
namespace {

// An Info.plist or a menu entry is a few kilobytes; anything far larger is not one of ours.
constexpr qint64 kMaxSmallFileBytes = 1 << 20;
constexpr int kAsideRandomLength = 6;

QString systemError(int code = errno)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// A descriptor that closes itself.
class Handle {
public:
    explicit Handle(int fd = -1) : fd_(fd) {}
    ~Handle()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

int openFolderAt(int folder, const char *name)
{
    return ::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The bytes of the regular file name inside folder, following no link and never waiting on a
// fifo; nullopt with a reason otherwise.
std::optional<QByteArray> readSmallFileAt(int folder, const char *name, QString *error)
{
    const Handle file(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!file.valid() || ::fstat(file.fd(), &info) != 0) {
        *error = systemError();
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode) || info.st_size > kMaxSmallFileBytes) {
        *error = QStringLiteral("not a regular file of at most %1 bytes").arg(kMaxSmallFileBytes);
        return std::nullopt;
    }
    QByteArray bytes(qsizetype(info.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(file.fd(), bytes.data() + done, size_t(bytes.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    bytes.truncate(done);
    return bytes;
}

QString randomSuffix()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix;
    for (int i = 0; i < kAsideRandomLength; ++i)
        suffix += QLatin1Char(letters[QRandomGenerator::system()->bounded(int(sizeof letters) - 1)]);
    return suffix;
}

}  // namespace

QString BundleRemoval::asidePrefixFor(const QString &bundleName)
{
    return QLatin1Char('.') + bundleName + QStringLiteral(".removing-");
}

QString BundleRemoval::bundlePath() const
{
    return settings_.bundlePath();
}

RemovalReport BundleRemoval::run()
{
    RemovalReport report;
    if (settings_.productBundleIdentifier.isEmpty()) {
        // Without the identifier nothing tells the product from anything else of that name.
        report.outcome = RemovalReport::Outcome::Refused;
        report.error = QStringLiteral("no kQSProductBundleIdentifier is configured, so no bundle can be told to be the product");
        report.kept.append({bundlePath(), report.error});
        return report;
    }
    // Root holds the placements' lock from the identity check to the last change, so that no
    // placement swaps a bundle in between them. A person removing from a folder of their own
    // cannot take it: it lives where only root reaches, so that no person can stall root.
    std::optional<platform::PlacementLock> lock;
    if (::geteuid() == 0) {
        lock.emplace(bundlePath());
        if (!lock->isHeld()) {
            report.outcome = RemovalReport::Outcome::Failed;
            report.error = lock->errorString();
            return report;
        }
    }
    const Handle applications(::open(QFile::encodeName(settings_.applicationsDirectory).constData(),
                                     O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!applications.valid() && errno != ENOENT) {
        report.outcome = RemovalReport::Outcome::Failed;
        report.error = QStringLiteral("cannot open %1: %2").arg(settings_.applicationsDirectory, systemError());
        return report;
    }
    if (applications.valid()) {
        sweepAside(applications.fd());
        const RemovalReport::Outcome bundle = checkBundle(applications.fd(), &report);
        if (bundle == RemovalReport::Outcome::Refused) {
            // Not ours: the entry that starts it and the record of it stay with it.
            report.outcome = bundle;
            report.error = report.kept.first().reason;
            return report;
        }
        if (bundle == RemovalReport::Outcome::Removed && !removeBundle(applications.fd(), &report)) {
            report.outcome = RemovalReport::Outcome::Failed;
            return report;
        }
    }
    removeMenuEntry(&report);
    if (report.outcome != RemovalReport::Outcome::Failed)
        report.outcome = report.removed.isEmpty() ? RemovalReport::Outcome::NothingToRemove : RemovalReport::Outcome::Removed;
    return report;
}

RemovalReport::Outcome BundleRemoval::checkBundle(int applications, RemovalReport *report) const
{
    const QByteArray name = QFile::encodeName(settings_.bundleName);
    struct stat info {};
    if (::fstatat(applications, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return RemovalReport::Outcome::NothingToRemove;
    const auto refuse = [&](const QString &reason) {
        report->kept.append({bundlePath(), reason});
        return RemovalReport::Outcome::Refused;
    };
    if (S_ISLNK(info.st_mode))
        return refuse(QStringLiteral("it is a link, not the installed bundle"));
    if (!S_ISDIR(info.st_mode))
        return refuse(QStringLiteral("it is not a folder"));
    const Handle bundle(openFolderAt(applications, name.constData()));
    const Handle contents(bundle.valid() ? openFolderAt(bundle.fd(), "Contents") : -1);
    QString error = systemError();
    const std::optional<QByteArray> bytes = contents.valid() ? readSmallFileAt(contents.fd(), "Info.plist", &error) : std::nullopt;
    const std::optional<QVariantMap> plist = bytes ? platform::Bundle::parsePropertyList(*bytes, &error) : std::nullopt;
    if (!plist)
        return refuse(QStringLiteral("it has no readable Contents/Info.plist (%1)").arg(error));
    const QString identifier = plist->value(QStringLiteral("CFBundleIdentifier")).toString();
    if (identifier != settings_.productBundleIdentifier)
        return refuse(QStringLiteral("it carries the identifier \"%1\", not the product's \"%2\"")
                          .arg(identifier, settings_.productBundleIdentifier));
    return RemovalReport::Outcome::Removed;
}

bool BundleRemoval::removeBundle(int applications, RemovalReport *report) const
{
    const QByteArray name = QFile::encodeName(settings_.bundleName);
    const QByteArray aside = QFile::encodeName(asidePrefixFor(settings_.bundleName) + randomSuffix());
    // One rename: from here on nothing that starts is left at the bundle's name, whatever happens.
    if (::renameat2(applications, name.constData(), applications, aside.constData(), RENAME_NOREPLACE) != 0) {
        report->error = QStringLiteral("cannot move %1 aside: %2").arg(bundlePath(), systemError());
        return false;
    }
    QString error;
    // The rename reaches the disk before the deletion starts: after a power cut the bundle is whole
    // at its name or aside, never half deleted at its name.
    if (!platform::DurableFiles::syncFolder(settings_.applicationsDirectory, &error))
        error.clear();  // not fatal: the rename itself was done
    report->removed.append(bundlePath());
    if (!platform::TreeRemoval::removeAt(applications, aside, &error)) {
        // The product is gone from its place; what is left aside goes with the next removal.
        const QString leftover = settings_.applicationsDirectory + QLatin1Char('/') + QFile::decodeName(aside);
        report->kept.append({leftover, QStringLiteral("could not be deleted yet (%1); the next removal deletes it").arg(error)});
    }
    return true;
}

void BundleRemoval::removeMenuEntry(RemovalReport *report) const
{
    if (settings_.menuFolder.isEmpty())
        return;
    const QString entryName = platform::DesktopEntry::fileNameFor(bundlePath());
    const QString entryPath = QDir(settings_.menuFolder).filePath(entryName);
    const Handle folder(::open(QFile::encodeName(settings_.menuFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const QByteArray name = QFile::encodeName(entryName);
    struct stat info {};
    if (!folder.valid() || ::fstatat(folder.fd(), name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    QString error;
    const std::optional<QByteArray> text = readSmallFileAt(folder.fd(), name.constData(), &error);
    if (!text) {
        report->kept.append({entryPath, QStringLiteral("it is not a menu entry this installer wrote (%1)").arg(error)});
        return;
    }
    if (!platform::DesktopEntry::isWrittenFor(*text, bundlePath())) {
        report->kept.append({entryPath, QStringLiteral("it is not a menu entry this installer wrote for %1").arg(bundlePath())});
        return;
    }
    if (::unlinkat(folder.fd(), name.constData(), 0) != 0 && errno != ENOENT) {
        report->error = QStringLiteral("cannot remove %1: %2").arg(entryPath, systemError());
        report->kept.append({entryPath, report->error});
        report->outcome = RemovalReport::Outcome::Failed;
        return;
    }
    report->removed.append(entryPath);
}

void BundleRemoval::sweepAside(int applications) const
{
    const QString prefix = asidePrefixFor(settings_.bundleName);
    const QStringList names = QDir(settings_.applicationsDirectory)
                                  .entryList({prefix + QLatin1Char('*')}, QDir::AllEntries | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (name.size() == prefix.size() + kAsideRandomLength)
            (void)platform::TreeRemoval::removeAt(applications, QFile::encodeName(name), nullptr);
    }
}

}  // namespace archives
