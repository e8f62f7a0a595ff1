#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// The check of an archive's minisign signature with the public key of the helper's own bundle,
// fed with the archive's bytes as they stream in.
class ArchiveSignature {
public:
    virtual ~ArchiveSignature() = default;
    virtual void addData(const char *data, size_t size) = 0;
    [[nodiscard]] virtual bool verify(QString *error) = 0;
    // The signature's trusted comment (one line), which the maker reads in the run log.
    virtual QByteArray trustedComment() const { return {}; }

    // nullptr when publicKey is empty (the bundle asks for no signature). With a key, the check
    // for signatureText, or nullptr with a reason when no check can be made: a bundle that names
    // a key never has its archive placed unverified.
    static std::unique_ptr<ArchiveSignature> forKey(const QString &publicKey, const QByteArray &signatureText,
                                                    QString *error);
};
