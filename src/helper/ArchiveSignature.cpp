#include "ArchiveSignature.h"

#include "archive/MinisignVerifier.h"

namespace {

// The platform's minisign check, fed with the archive as it arrives on standard input.
class MinisignArchiveSignature final : public ArchiveSignature {
public:
    explicit MinisignArchiveSignature(std::unique_ptr<archives::MinisignVerifier> verifier)
        : verifier_(std::move(verifier))
    {
    }
    void addData(const char *data, size_t size) override
    {
        verifier_->addData(QByteArrayView(data, qsizetype(size)));
    }
    bool verify(QString *error) override
    {
        QString reason;
        if (verifier_->verify(&reason))
            return true;
        *error = QStringLiteral("Signature verification failed: %1").arg(reason);
        return false;
    }

    QByteArray trustedComment() const override { return verifier_->trustedComment(); }

private:
    std::unique_ptr<archives::MinisignVerifier> verifier_;
};

}  // namespace

std::unique_ptr<ArchiveSignature> ArchiveSignature::forKey(const QString &publicKey, const QByteArray &signatureText,
                                                           QString *error)
{
    if (publicKey.isEmpty())
        return nullptr;
    if (signatureText.isEmpty()) {
        *error = QStringLiteral("Signature verification failed: no signature given");
        return nullptr;
    }
    QString reason;
    std::unique_ptr<archives::MinisignVerifier> verifier =
        archives::MinisignVerifier::create(publicKey.trimmed().toUtf8(), signatureText, &reason);
    if (!verifier) {
        *error = QStringLiteral("Signature verification failed: %1").arg(reason);
        return nullptr;
    }
    return std::make_unique<MinisignArchiveSignature>(std::move(verifier));
}
