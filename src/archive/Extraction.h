#pragma once
// Extraction as the installer runs it: the archive code bounded by the free space where the tree
// is written. One place a test can put a slow or failing extraction in, as it puts a fake host in
// place of the system's.

#include <QString>

#include <atomic>
#include <memory>

namespace archives {

class StreamingZipExtraction;

class Extraction {
public:
    virtual ~Extraction() = default;

    // Extracts a ZIP archive into an existing or new directory, refusing anything that would
    // land outside it. False with a reason on any failure. When cancelled is given and becomes
    // true, extraction stops before the next entry or block and fails.
    virtual bool extractArchive(const QString &archivePath, const QString &destination, QString *error,
                                const std::atomic<bool> *cancelled = nullptr);
    // An extraction into destination that follows the body being written to bodyPath (started,
    // waiting for bytes), under the same rules as extractArchive; nullptr when only finished
    // archives are extracted.
    virtual std::shared_ptr<StreamingZipExtraction> streamArchive(const QString &bodyPath, const QString &destination,
                                                                  const std::atomic<bool> *cancelled);
};

// The extraction in use: the real one unless a test has put another in place.
Extraction &extraction();
// Puts an extraction in place (not owned); nullptr restores the real one.
void setExtraction(Extraction *replacement);

}  // namespace archives
