#include "archive/ExtractedTree.h"

#include <QFile>
#include <QStringList>

#include <filesystem>
#include <system_error>

#include <sys/stat.h>
#include <cerrno>
#include <unistd.h>

namespace fs = std::filesystem;

namespace archives {
namespace {

// Far more links than a real bundle chains; anything past it is a loop.
constexpr int kMaxLinkSteps = 40;

fs::path toPath(const QString &path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

QString fromPath(const fs::path &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

QString relativeName(const fs::path &top, const fs::path &entry)
{
    return fromPath(entry.lexically_relative(top));
}

// The target of the link at path, or nullopt when it cannot be read.
std::optional<QString> readLink(const QByteArray &path)
{
    QByteArray buffer(4096, Qt::Uninitialized);
    const ssize_t length = ::readlink(path.constData(), buffer.data(), size_t(buffer.size()));
    if (length < 0 || length >= buffer.size())
        return std::nullopt;
    buffer.truncate(length);
    return QFile::decodeName(buffer);
}

// Walks everything under top without following links; visit returns false to stop.
template <typename Visit>
bool walk(const QString &top, QString *error, Visit visit)
{
    const fs::path root = toPath(top);
    std::error_code code;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, code);
    for (; !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
        if (!visit(root, *it))
            return false;
    }
    if (code) {
        *error = QStringLiteral("cannot read %1: %2").arg(top, QString::fromLocal8Bit(code.message()));
        return false;
    }
    return true;
}

}  // namespace

mode_t ExtractedTree::normalisedMode(mode_t mode, bool isFolder)
{
    if (isFolder || (mode & 0111))
        return 0755;
    return 0644;
}

bool ExtractedTree::checkLinks(const QString &top, QString *error)
{
    return walk(top, error, [&top, error](const fs::path &root, const fs::directory_entry &entry) {
        // The type the folder listing gave: no call per entry.
        std::error_code code;
        if (!entry.is_symlink(code))
            return true;
        const QString name = relativeName(root, entry.path());
        if (!linkResolvesInside(top, name)) {
            *error = QStringLiteral("refused link that leaves the folder: %1").arg(name);
            return false;
        }
        return true;
    });
}

bool ExtractedTree::linkResolvesInside(const QString &top, const QString &linkPath)
{
    // `resolved` is the real position reached so far, as components below top; `pending` the
    // components still to walk. Each link met on the way is replaced by its own target.
    QStringList resolved = linkPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (resolved.isEmpty())
        return false;
    const QString linkName = resolved.takeLast();
    QStringList pending{linkName};
    int steps = 0;
    while (!pending.isEmpty()) {
        const QString part = pending.takeFirst();
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (resolved.isEmpty())
                return false;
            resolved.removeLast();
            continue;
        }
        resolved.append(part);
        const QString here = top + QLatin1Char('/') + resolved.join(QLatin1Char('/'));
        const QByteArray encoded = QFile::encodeName(here);
        struct stat info {};
        if (::lstat(encoded.constData(), &info) != 0) {
            // A name that does not exist (yet) stays a plain step; anything else that cannot be
            // looked at (a name too long to look up, say) cannot be shown to stay inside.
            if (errno == ENOENT || errno == ENOTDIR)
                continue;
            return false;
        }
        if (!S_ISLNK(info.st_mode))
            continue;  // a folder or a file: a plain step
        if (++steps > kMaxLinkSteps)
            return false;
        const auto target = readLink(encoded);
        if (!target || target->isEmpty() || target->startsWith(QLatin1Char('/')))
            return false;
        resolved.removeLast();
        pending = target->split(QLatin1Char('/')) + pending;
    }
    return true;
}

bool ExtractedTree::setOwner(const QString &top, uid_t owner, gid_t group, QString *error)
{
    if (::lchown(QFile::encodeName(top).constData(), owner, group) != 0) {
        *error = QStringLiteral("cannot set the owner of %1").arg(top);
        return false;
    }
    return walk(top, error, [owner, group, error](const fs::path &root, const fs::directory_entry &entry) {
        if (::lchown(entry.path().c_str(), owner, group) != 0) {
            *error = QStringLiteral("cannot set the owner of %1").arg(relativeName(root, entry.path()));
            return false;
        }
        return true;
    });
}

}  // namespace archives
