#pragma once
// Signs the served archive as the maker does, with the real minisign tool and a secret key
// without a password (`minisign -G -W`), so the configuration can carry the signature that an
// installer with the matching public key requires.

#include <QByteArray>
#include <QString>

#include <optional>

namespace demo {

class ArchiveSigner {
public:
    // The whole ".minisig" text for the file at archivePath, or nullopt with *error.
    static std::optional<QByteArray> sign(const QString &archivePath, const QString &secretKeyPath,
                                          const QString &trustedComment, QString *error);
    ArchiveSigner() = delete;
};

}  // namespace demo
