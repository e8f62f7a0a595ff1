#include "EngineTestSupport.h"

#include "platform/NotificationCenter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QTest>

#include <archive.h>
#include <archive_entry.h>

namespace enginetest {

EventRecorder::EventRecorder()
{
    token_ = platform::NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("LOG_ANALYTICS"), [this](const platform::Notification &notification) {
            // "<time> ci=<ci> <json>": the JSON starts after the second blank.
            const QString line = notification.object.toString();
            const qsizetype first = line.indexOf(QLatin1Char(' '));
            const qsizetype second = line.indexOf(QLatin1Char(' '), first + 1);
            const QJsonObject fields = QJsonDocument::fromJson(line.mid(second + 1).toUtf8()).object();
            events << Event{fields.value(QStringLiteral("EVT")).toString(), fields};
        });
}

EventRecorder::~EventRecorder()
{
    platform::NotificationCenter::defaultCenter().removeObserver(token_);
}

QList<EventRecorder::Event> EventRecorder::named(const QString &name) const
{
    QList<Event> found;
    for (const Event &event : events) {
        if (event.name == name)
            found << event;
    }
    return found;
}

QStringList EventRecorder::names() const
{
    QStringList list;
    for (const Event &event : events)
        list << event.name;
    return list;
}

std::shared_ptr<const QSConfig> makeConfig(const QString &url, quint64 retryLimit, const QString &build)
{
    auto config = std::make_shared<QSConfig>();
    config->latestMacURL = url;
    config->lastBuildNumberMac = build;
    config->downloadRetryLimit = retryLimit;
    return config;
}

namespace {

la_ssize_t appendToBuffer(archive *, void *clientData, const void *buffer, size_t length)
{
    static_cast<QByteArray *>(clientData)->append(static_cast<const char *>(buffer), qsizetype(length));
    return la_ssize_t(length);
}

}  // namespace

QByteArray makeZip(const QList<ZipEntry> &entries)
{
    QByteArray bytes;
    archive *writer = archive_write_new();
    archive_write_set_format_zip(writer);
    archive_write_set_bytes_in_last_block(writer, 1);
    archive_write_open(writer, &bytes, nullptr, appendToBuffer, nullptr);
    for (const ZipEntry &e : entries) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.path.toUtf8().constData());
        const bool isFile = e.type == ZipEntry::Type::File;
        archive_entry_set_filetype(entry, isFile ? AE_IFREG : e.type == ZipEntry::Type::Folder ? AE_IFDIR : AE_IFLNK);
        archive_entry_set_perm(entry, e.perm);
        if (e.type == ZipEntry::Type::Link)
            archive_entry_set_symlink(entry, e.target.toUtf8().constData());
        archive_entry_set_size(entry, isFile ? e.data.size() : 0);
        archive_write_header(writer, entry);
        if (isFile)
            archive_write_data(writer, e.data.constData(), size_t(e.data.size()));
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    return bytes;
}

QList<ZipEntry> productEntries(const QString &bundleName, const QString &version)
{
    const QByteArray plist =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>CFBundleShortVersionString</key><string>" + version.toUtf8() + "</string>"
        "<key>CFBundleExecutable</key><string>corvala</string></dict></plist>\n";
    return {
        ZipEntry::folder(bundleName + "/"),
        ZipEntry::file(bundleName + "/Contents/Info.plist", plist),
        ZipEntry::file(bundleName + "/Contents/MacOS/corvala", "#!/bin/sh\nexit 0\n", 0755),
        ZipEntry::link(bundleName + "/Contents/Resources/current", "../MacOS/corvala"),
    };
}

void writeInstalledBundle(const QString &bundlePath, const QString &shortVersion)
{
    QDir().mkpath(bundlePath + "/Contents");
    QByteArray plist = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
    if (!shortVersion.isNull())
        plist += "<key>CFBundleShortVersionString</key><string>" + shortVersion.toUtf8() + "</string>";
    plist += "<key>CFBundleExecutable</key><string>corvala</string></dict></plist>\n";
    QFile file(bundlePath + "/Contents/Info.plist");
    if (file.open(QIODevice::WriteOnly))
        file.write(plist);
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    return QTest::qWaitFor(done, timeoutMs);
}

QStringList treeOf(const QString &root)
{
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << QDir(root).relativeFilePath(it.next());
    paths.sort();
    return paths;
}

}  // namespace enginetest
