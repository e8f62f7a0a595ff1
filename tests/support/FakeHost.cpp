#include "FakeHost.h"

#include "platform/StreamingZipExtraction.h"
#include "platform/ZipExtractor.h"

FakeHost::FakeHost()
{
    platform::setHost(this);
}

FakeHost::~FakeHost()
{
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
    switch (word) {
    case platform::PlatformWord::RequestOs:
        return QStringLiteral("linux");
    case platform::PlatformWord::AnalyticsOs:
        return QStringLiteral("Linux");
    case platform::PlatformWord::PageOs:
        return QStringLiteral("linux");
    }
    return {};
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
    platform::ZipExtractor zip;
    zip.setCancelFlag(cancelled);
    const bool ok = zip.extract(archivePath, destination);
    if (!ok && error)
        *error = zip.errorString();
    return ok;
}

std::shared_ptr<platform::StreamingZipExtraction> FakeHost::streamArchive(const QString &bodyPath,
                                                                          const QString &destination,
                                                                          const std::atomic<bool> *cancelled)
{
    if (extractor)
        return nullptr;
    auto extraction = std::make_shared<platform::StreamingZipExtraction>(bodyPath, destination);
    extraction->setCancelFlag(cancelled);
    extraction->start();
    return extraction;
}
