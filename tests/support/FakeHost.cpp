#include "FakeHost.h"

#include "archive/StreamingZipExtraction.h"
#include "archive/ZipExtractor.h"

FakeHost::FakeHost()
{
    platform::setHost(this);
    archives::setExtraction(this);
}

FakeHost::~FakeHost()
{
    archives::setExtraction(nullptr);
    platform::setHost(nullptr);
}

std::optional<QStringList> FakeHost::groupMembers(const QString &group) const
{
    if (!groups.contains(group))
        return std::nullopt;
    return groups.value(group);
}

QString FakeHost::platformWord(platform::PlatformWord word) const
{
    return word == platform::PlatformWord::AnalyticsOs ? QStringLiteral("Linux") : QStringLiteral("linux");
}

bool FakeHost::openUrl(const QUrl &url)
{
    openedUrls << url;
    return true;
}

bool FakeHost::launchApplication(const QString &bundlePath, const QStringList &arguments, QString *error)
{
    launches << Launch{bundlePath, arguments};
    if (!launchSucceeds && error)
        *error = QStringLiteral("launch refused by the test");
    return launchSucceeds;
}

bool FakeHost::extractArchive(const QString &archivePath, const QString &destination, QString *error,
                              const std::atomic<bool> *cancelled)
{
    if (extractor)
        return extractor(archivePath, destination, error);
    archives::ZipExtractor zip;
    zip.setCancelFlag(cancelled);
    const bool ok = zip.extract(archivePath, destination);
    if (!ok && error)
        *error = zip.errorString();
    return ok;
}

std::shared_ptr<archives::StreamingZipExtraction> FakeHost::streamArchive(const QString &bodyPath,
                                                                          const QString &destination,
                                                                          const std::atomic<bool> *cancelled)
{
    if (extractor)
        return nullptr;
    auto extraction = std::make_shared<archives::StreamingZipExtraction>(bodyPath, destination);
    extraction->setCancelFlag(cancelled);
    extraction->start();
    return extraction;
}
