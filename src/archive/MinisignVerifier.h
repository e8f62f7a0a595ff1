#pragma once
// Checks a file against a minisign signature while its bytes stream in: Ed25519 over the
// BLAKE2b-512 hash of the file, and the second signature that binds the trusted comment to it.
// QtCore and libsodium only, so the privileged placement helper can check the archive again.
//
// Formats (as the minisign tool writes them):
//   public key line:  base64("Ed" || key id (8 bytes) || Ed25519 public key (32 bytes))
//   signature text:   "untrusted comment: <text>"
//                     base64("ED" || key id (8 bytes) || Ed25519 signature (64 bytes))
//                     "trusted comment: <text>"
//                     base64(Ed25519 signature over (the signature above || <text>))
//
// Only prehashed ("ED") signatures are accepted. The legacy "Ed" form signs the raw file, which
// cannot be checked while streaming without holding the whole archive; minisign has not made it
// by default since 0.8, so it is refused with a clear reason.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <memory>
#include <optional>

namespace archives {

struct MinisignPublicKey {
    std::array<unsigned char, 8> keyId{};
    std::array<unsigned char, 32> key{};
};

struct MinisignSignature {
    std::array<unsigned char, 8> keyId{};
    std::array<unsigned char, 64> signature{};
    QByteArray trustedComment;  // the text after "trusted comment: ", without the line end
    std::array<unsigned char, 64> globalSignature{};
};

class MinisignVerifier {
public:
    // Pure functions of their bytes: nullopt with a reason in error for anything malformed.
    // The key text is the key line alone, or a whole ".pub" file (comment line, then key line).
    static std::optional<MinisignPublicKey> parsePublicKey(QByteArrayView text, QString *error);
    static std::optional<MinisignSignature> parseSignature(QByteArrayView text, QString *error);
    // A key id as minisign prints it ("D3B0C9E6A1F2B4C5").
    static QString keyIdText(const std::array<unsigned char, 8> &keyId);

    MinisignVerifier(const MinisignPublicKey &key, const MinisignSignature &signature);
    ~MinisignVerifier();
    MinisignVerifier(const MinisignVerifier &) = delete;
    MinisignVerifier &operator=(const MinisignVerifier &) = delete;

    // Parses both texts; null with a reason when either is malformed. A key id that differs
    // between the two is found by verify(), so the reason names both ids.
    static std::unique_ptr<MinisignVerifier> create(QByteArrayView publicKeyText, QByteArrayView signatureText,
                                                    QString *error);

    // Feeds the next bytes of the file, in order.
    void addData(QByteArrayView bytes);
    // Ends the hash and checks both signatures. Call once, after the last addData(); false with
    // a reason when the file, the key or the trusted comment does not match.
    [[nodiscard]] bool verify(QString *error);

    qint64 bytesSeen() const { return bytesSeen_; }
    const QByteArray &trustedComment() const { return signature_.trustedComment; }

private:
    struct HashState;
    MinisignPublicKey key_;
    MinisignSignature signature_;
    std::unique_ptr<HashState> hash_;
    qint64 bytesSeen_ = 0;
    bool finished_ = false;
};

}  // namespace archives
