#include "engine/QSInstallFiles.h"

#include "platform/DurableFiles.h"
#include "platform/Host.h"
#include "platform/PersonalFiles.h"
#include "platform/ThreadCrash.h"
#include "platform/TreeRemoval.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QThreadPool>
#include <QUuid>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path toPath(const QString &path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

// A pool of its own, so that waiting for removals never waits for unrelated work of the global
// pool (a proxy look-up can take seconds).
QThreadPool &removalPool()
{
    static QThreadPool pool;
    return pool;
}

QString fromPath(const fs::path &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

QString describe(const std::error_code &code)
{
    return QString::fromLocal8Bit(code.message());
}

bool isPresent(const fs::path &path)
{
    std::error_code ignored;
    return fs::symlink_status(path, ignored).type() != fs::file_type::not_found;
}

// A hidden name beside `target` that nobody else uses: ".<name>.<purpose>-<random>".
fs::path siblingName(const fs::path &target, const char *purpose)
{
    for (;;) {
        const QString suffix = QString::number(QRandomGenerator::global()->generate64(), 36);
        const fs::path candidate = target.parent_path() /
            (QStringLiteral(".%1.%2-%3").arg(fromPath(target.filename()), QLatin1String(purpose), suffix)).toStdString();
        if (!isPresent(candidate))
            return candidate;
    }
}

// Brings the bundle to `staging` beside the target: a rename on the same file system, else a copy
// (links copied as links) followed by removing the source.
bool stage(const fs::path &source, const fs::path &staging, QString *error)
{
    std::error_code code;
    fs::rename(source, staging, code);
    if (!code)
        return true;
    if (code != std::errc::cross_device_link) {
        *error = QStringLiteral("cannot move %1 to %2: %3").arg(fromPath(source), fromPath(staging), describe(code));
        return false;
    }
    fs::copy(source, staging, fs::copy_options::recursive | fs::copy_options::copy_symlinks, code);
    if (code) {
        *error = QStringLiteral("cannot copy %1 to %2: %3").arg(fromPath(source), fromPath(staging), describe(code));
        std::error_code ignored;
        fs::remove_all(staging, ignored);
        return false;
    }
    std::error_code ignored;
    fs::remove_all(source, ignored);  // only a temporary copy is left behind if this fails
    return true;
}

}  // namespace

QString QSInstallFiles::archivePath()
{
    return QDir(platform::host().temporaryDirectory()).filePath(QStringLiteral("downloadedFile.tmp"));
}

QString QSInstallFiles::partialPathFor(const QString &archivePath)
{
    return archivePath + QStringLiteral(".part");
}

QString QSInstallFiles::extractionDirectoryFor(const QString &archivePath)
{
    const QFileInfo info(archivePath);
    QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        name.truncate(dot);
    return QDir(info.path()).filePath(name + QStringLiteral("_unzip"));
}

void QSInstallFiles::removePathInBackground(const QString &path)
{
    // First out of the way under a name of its own, at once: a new download to the same name
    // can never be the one that the background removal takes.
    const QString aside = QStringLiteral("%1.removing-%2").arg(path, QUuid::createUuid().toString(QUuid::Id128));
    std::error_code code;
    fs::rename(toPath(path), toPath(aside), code);
    if (code) {
        removePath(path);
        return;
    }
    removalPool().start([aside] { platform::ThreadCrash::run(QStringLiteral("Removal"), [&aside] { removePath(aside); }); });
}

void QSInstallFiles::waitForBackgroundRemovals()
{
    removalPool().waitForDone();
}

bool QSInstallFiles::removePath(const QString &path)
{
    if (path.isEmpty())
        return true;
    // Through folder handles: a link is removed itself, never followed, wherever it sits.
    return platform::TreeRemoval::remove(path, nullptr) && !isPresent(toPath(path));
}

bool QSInstallFiles::placeBundle(const QString &source, const QString &target, QString *error)
{
    QString ignoredError;
    if (!error)
        error = &ignoredError;
    const fs::path from = toPath(source);
    const fs::path to = toPath(target);
    std::error_code code;
    if (fs::symlink_status(from, code).type() != fs::file_type::directory) {
        *error = QStringLiteral("%1 is not a folder").arg(source);
        return false;
    }
    fs::create_directories(to.parent_path(), code);
    if (code) {
        *error = QStringLiteral("cannot create %1: %2").arg(fromPath(to.parent_path()), describe(code));
        return false;
    }

    const fs::path staging = siblingName(to, "installing");
    if (!stage(from, staging, error))
        return false;

    std::error_code ignored;
    // The new bundle is on disk before the rename that makes it the installed one.
    if (!platform::DurableFiles::syncFileSystemOf(fromPath(staging), error)) {
        fs::remove_all(staging, ignored);
        return false;
    }
    const QString parent = fromPath(to.parent_path());
    if (!isPresent(to)) {
        fs::rename(staging, to, code);
        if (code) {
            *error = QStringLiteral("cannot move %1 to %2: %3").arg(fromPath(staging), target, describe(code));
            fs::remove_all(staging, ignored);
            return false;
        }
        return platform::DurableFiles::syncFolder(parent, error);
    }

    // Replace the existing bundle as a whole: set it aside, move the new one in, then drop the
    // old one. If the new one cannot go in, the old one comes back.
    const fs::path replaced = siblingName(to, "replaced");
    fs::rename(to, replaced, code);
    if (code) {
        *error = QStringLiteral("cannot move the existing %1 aside: %2").arg(target, describe(code));
        fs::remove_all(staging, ignored);
        return false;
    }
    fs::rename(staging, to, code);
    if (code) {
        *error = QStringLiteral("cannot move %1 to %2: %3").arg(fromPath(staging), target, describe(code));
        fs::rename(replaced, to, ignored);
        fs::remove_all(staging, ignored);
        return false;
    }
    fs::remove_all(replaced, ignored);
    return platform::DurableFiles::syncFolder(parent, error);
}

QByteArray QSInstallFiles::versionFileContent(const QString &version)
{
    const QJsonObject object{{QStringLiteral("version"), version}};
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

bool QSInstallFiles::writeVersionFile(const QString &path, const QString &version, QString *error)
{
    QString ignoredError;
    if (!error)
        error = &ignoredError;
    // In the person's home: made whole and renamed into place, no link below the home followed.
    return platform::PersonalFiles::writeWhole(path, versionFileContent(version), error);
}
