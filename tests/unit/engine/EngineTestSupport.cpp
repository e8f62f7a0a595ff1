#include "EngineTestSupport.h"

#include "platform/NotificationCenter.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <archive.h>
#include <archive_entry.h>

namespace enginetest {

QJsonObject fieldsLike(const QJsonObject &event, const QJsonObject &expected)
{
    QJsonObject found;
    for (const QString &key : expected.keys())
        found.insert(key, event.value(key));
    return found;
}

std::shared_ptr<const QSConfig> makeConfig(const QString &url, quint64 retryLimit)
{
    auto config = std::make_shared<QSConfig>();
    config->latestMacURL = url;
    config->lastBuildNumberMac = QStringLiteral("1234");
    config->downloadRetryLimit = retryLimit;
    return config;
}

FlowFixture::FlowFixture() : flow(std::make_unique<QSInstallFlow>(screens))
{
    flow->setConfigLoader([this](QSConfigProvider::Completion completion) { pending << std::move(completion); });
    flow->setTerminate([this] { ++terminations; });
    observer = platform::NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("LOG_ANALYTICS"), [this](const platform::Notification &notification) {
            const QString line = notification.object.toString();  // "<time> ci=<ci> <json>"
            events << QJsonDocument::fromJson(line.mid(line.indexOf(QLatin1Char('{'))).toUtf8()).object();
        });
}

FlowFixture::~FlowFixture()
{
    flow.reset();
    platform::NotificationCenter::defaultCenter().removeObserver(observer);
}

QStringList FlowFixture::eventNames() const
{
    QStringList names;
    for (const QJsonObject &event : events)
        names << event.value(QStringLiteral("EVT")).toString();
    return names;
}

QList<QJsonObject> FlowFixture::named(const QString &event) const
{
    QList<QJsonObject> found;
    std::copy_if(events.begin(), events.end(), std::back_inserter(found), [&](const QJsonObject &e) { return e["EVT"] == event; });
    return found;
}

static la_ssize_t appendToBuffer(archive *, void *buffer, const void *data, size_t length)
{
    static_cast<QByteArray *>(buffer)->append(static_cast<const char *>(data), qsizetype(length));
    return la_ssize_t(length);
}

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
        const bool link = !e.linkTarget.isEmpty(), folder = e.path.endsWith(QLatin1Char('/'));
        archive_entry_set_filetype(entry, link ? AE_IFLNK : folder ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(entry, link ? 0777 : folder ? 0755 : e.perm);
        if (link)
            archive_entry_set_symlink(entry, e.linkTarget.toUtf8().constData());
        archive_entry_set_size(entry, e.data.size());
        archive_write_header(writer, entry);
        archive_write_data(writer, e.data.constData(), size_t(e.data.size()));
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    return bytes;
}

static QByteArray plist(const QString &shortVersion)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>CFBundleShortVersionString</key><string>" +
        shortVersion.toUtf8() + "</string><key>CFBundleExecutable</key><string>corvala</string></dict></plist>\n";
}

QList<ZipEntry> productEntries(const QString &bundleName)
{
    return {{bundleName + "/"},
            {bundleName + "/Contents/Info.plist", plist("1234")},
            {bundleName + "/Contents/MacOS/corvala", "#!/bin/sh\nexit 0\n", {}, 0755},
            {bundleName + "/Contents/Resources/current", {}, "../MacOS/corvala"}};
}

void writeInstalledBundle(const QString &bundlePath, const QString &shortVersion)
{
    QDir().mkpath(bundlePath + "/Contents");
    QFile file(bundlePath + "/Contents/Info.plist");
    if (file.open(QIODevice::WriteOnly))
        file.write(plist(shortVersion));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace enginetest
