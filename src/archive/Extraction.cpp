#include "archive/Extraction.h"

#include "archive/StreamingZipExtraction.h"
#include "archive/ZipExtractor.h"
#include "platform/Host.h"

#include <QFileInfo>

namespace archives {
namespace {
std::atomic<Extraction *> replacementExtraction{nullptr};

// The free space of the folder the tree goes into, when the system can tell it.
std::optional<quint64> spaceFor(const QString &destination)
{
    const platform::FreeSpace space = platform::host().freeSpace(QFileInfo(destination).absolutePath());
    return space.ok ? std::optional<quint64>(space.bytes) : std::nullopt;
}
}  // namespace

bool Extraction::extractArchive(const QString &archivePath, const QString &destination, QString *error,
                                const std::atomic<bool> *cancelled)
{
    ZipExtractor extractor;
    if (const auto space = spaceFor(destination))
        extractor.setSpaceLimit(*space);
    extractor.setCancelFlag(cancelled);
    const bool ok = extractor.extract(archivePath, destination);
    if (!ok && error)
        *error = extractor.errorString();
    return ok;
}

std::shared_ptr<StreamingZipExtraction> Extraction::streamArchive(const QString &bodyPath, const QString &destination,
                                                                  const std::atomic<bool> *cancelled)
{
    auto streamed = std::make_shared<StreamingZipExtraction>(bodyPath, destination);
    if (const auto space = spaceFor(destination))
        streamed->setSpaceLimit(*space);
    streamed->setCancelFlag(cancelled);
    streamed->start();
    return streamed;
}

Extraction &extraction()
{
    static Extraction real;
    Extraction *replacement = replacementExtraction.load(std::memory_order_acquire);
    return replacement ? *replacement : real;
}

void setExtraction(Extraction *replacement)
{
    replacementExtraction.store(replacement, std::memory_order_release);
}

}  // namespace archives
