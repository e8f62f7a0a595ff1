#include "archive/MinisignVerifier.h"

#include <QList>

#include <sodium.h>

#include <algorithm>
#include <cstring>

namespace archives {
namespace {

constexpr QByteArrayView kUntrustedPrefix = "untrusted comment: ";
constexpr QByteArrayView kTrustedPrefix = "trusted comment: ";
constexpr QByteArrayView kKeyAlgorithm = "Ed";
constexpr QByteArrayView kPrehashedAlgorithm = "ED";
constexpr QByteArrayView kLegacyAlgorithm = "Ed";
// Far above what minisign writes (its comments stop at 1 KiB and 8 KiB); anything longer is not a
// signature file, and a hostile configuration cannot make us keep megabytes of it.
constexpr qsizetype kMaxSignatureText = 16 * 1024;
constexpr qsizetype kMaxKeyText = 2 * 1024;

bool fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

// The lines of text without their "\n" or "\r\n" ends; trailing empty lines dropped.
QList<QByteArrayView> linesOf(QByteArrayView text)
{
    QList<QByteArrayView> lines;
    while (!text.isEmpty()) {
        const qsizetype end = text.indexOf('\n');
        QByteArrayView line = end < 0 ? text : text.first(end);
        if (line.endsWith('\r'))
            line.chop(1);
        lines << line;
        text = end < 0 ? QByteArrayView() : text.sliced(end + 1);
    }
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    return lines;
}

// The canonical base64 (padded, unused bits zero) of exactly size bytes. One text per value keeps
// signatures comparable and matches what minisign itself accepts.
std::optional<QByteArray> decodeExactly(QByteArrayView text, qsizetype size)
{
    const auto decoded = QByteArray::fromBase64Encoding(
        text.toByteArray(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != size || decoded.decoded.toBase64() != text)
        return std::nullopt;
    return decoded.decoded;
}

template <std::size_t N>
void copyInto(std::array<unsigned char, N> &target, const QByteArray &bytes, qsizetype offset)
{
    std::memcpy(target.data(), bytes.constData() + offset, N);
}

bool sodiumReady(QString *error)
{
    // Safe to call repeatedly and from any thread; fails only when no randomness source exists.
    return sodium_init() >= 0 || fail(error, QStringLiteral("the signature library could not be initialised"));
}

}  // namespace

struct MinisignVerifier::HashState {
    crypto_generichash_blake2b_state state;
};

std::optional<MinisignPublicKey> MinisignVerifier::parsePublicKey(QByteArrayView text, QString *error)
{
    if (text.size() > kMaxKeyText) {
        fail(error, QStringLiteral("the public key text is longer than %1 bytes").arg(kMaxKeyText));
        return std::nullopt;
    }
    QList<QByteArrayView> lines = linesOf(text.trimmed());
    // A whole ".pub" file: its comment line comes first.
    if (lines.size() == 2 && lines.first().startsWith(kUntrustedPrefix))
        lines.removeFirst();
    if (lines.size() != 1) {
        fail(error, QStringLiteral("the public key is not one minisign key line"));
        return std::nullopt;
    }
    const auto bytes = decodeExactly(lines.first().trimmed(), 2 + 8 + 32);
    if (!bytes) {
        fail(error, QStringLiteral("the public key is not the base64 of a 42-byte minisign key"));
        return std::nullopt;
    }
    if (QByteArrayView(*bytes).first(2) != kKeyAlgorithm) {
        fail(error, QStringLiteral("the public key is not an Ed25519 minisign key"));
        return std::nullopt;
    }
    MinisignPublicKey key;
    copyInto(key.keyId, *bytes, 2);
    copyInto(key.key, *bytes, 10);
    return key;
}

std::optional<MinisignSignature> MinisignVerifier::parseSignature(QByteArrayView text, QString *error)
{
    if (text.isEmpty()) {
        fail(error, QStringLiteral("there is no signature"));
        return std::nullopt;
    }
    if (text.size() > kMaxSignatureText) {
        fail(error, QStringLiteral("the signature text is longer than %1 bytes").arg(kMaxSignatureText));
        return std::nullopt;
    }
    const QList<QByteArrayView> lines = linesOf(text);
    if (lines.size() != 4) {
        fail(error, QStringLiteral("the signature has %1 lines instead of 4").arg(lines.size()));
        return std::nullopt;
    }
    if (!lines[0].startsWith(kUntrustedPrefix)) {
        fail(error, QStringLiteral("the signature's first line does not start with \"untrusted comment: \""));
        return std::nullopt;
    }
    const auto packed = decodeExactly(lines[1].trimmed(), 2 + 8 + 64);
    if (!packed) {
        fail(error, QStringLiteral("the signature's second line is not the base64 of a 74-byte minisign signature"));
        return std::nullopt;
    }
    const QByteArrayView algorithm = QByteArrayView(*packed).first(2);
    if (algorithm == kLegacyAlgorithm) {
        fail(error, QStringLiteral("the signature is of the legacy kind that is not prehashed; sign with a current minisign"));
        return std::nullopt;
    }
    if (algorithm != kPrehashedAlgorithm) {
        fail(error, QStringLiteral("the signature's algorithm is not minisign's Ed25519 over BLAKE2b-512"));
        return std::nullopt;
    }
    if (!lines[2].startsWith(kTrustedPrefix)) {
        fail(error, QStringLiteral("the signature's third line does not start with \"trusted comment: \""));
        return std::nullopt;
    }
    const auto global = decodeExactly(lines[3].trimmed(), 64);
    if (!global) {
        fail(error, QStringLiteral("the signature's fourth line is not the base64 of a 64-byte global signature"));
        return std::nullopt;
    }
    MinisignSignature signature;
    copyInto(signature.keyId, *packed, 2);
    copyInto(signature.signature, *packed, 10);
    signature.trustedComment = lines[2].sliced(kTrustedPrefix.size()).toByteArray();
    copyInto(signature.globalSignature, *global, 0);
    return signature;
}

QString MinisignVerifier::keyIdText(const std::array<unsigned char, 8> &keyId)
{
    // minisign prints the id as a little-endian 64-bit number.
    QString text;
    for (auto byte = keyId.rbegin(); byte != keyId.rend(); ++byte)
        text += QStringLiteral("%1").arg(unsigned(*byte), 2, 16, QLatin1Char('0')).toUpper();
    return text;
}

MinisignVerifier::MinisignVerifier(const MinisignPublicKey &key, const MinisignSignature &signature)
    : key_(key), signature_(signature), hash_(std::make_unique<HashState>())
{
    crypto_generichash_blake2b_init(&hash_->state, nullptr, 0, crypto_generichash_blake2b_BYTES_MAX);
}

MinisignVerifier::~MinisignVerifier() = default;

std::unique_ptr<MinisignVerifier> MinisignVerifier::create(QByteArrayView publicKeyText, QByteArrayView signatureText,
                                                           QString *error)
{
    if (!sodiumReady(error))
        return nullptr;
    QString reason;
    const auto key = parsePublicKey(publicKeyText, &reason);
    if (!key) {
        fail(error, reason);
        return nullptr;
    }
    const auto signature = parseSignature(signatureText, &reason);
    if (!signature) {
        fail(error, reason);
        return nullptr;
    }
    return std::make_unique<MinisignVerifier>(*key, *signature);
}

void MinisignVerifier::addData(QByteArrayView bytes)
{
    if (finished_ || bytes.isEmpty())
        return;
    crypto_generichash_blake2b_update(&hash_->state, reinterpret_cast<const unsigned char *>(bytes.data()),
                                      static_cast<unsigned long long>(bytes.size()));
    bytesSeen_ += bytes.size();
}

bool MinisignVerifier::verify(QString *error)
{
    if (finished_)
        return fail(error, QStringLiteral("the signature was already checked"));
    finished_ = true;
    if (!sodiumReady(error))
        return false;
    std::array<unsigned char, crypto_generichash_blake2b_BYTES_MAX> digest{};
    crypto_generichash_blake2b_final(&hash_->state, digest.data(), digest.size());

    if (key_.keyId != signature_.keyId) {
        return fail(error, QStringLiteral("the signature was made with key %1, but the trusted key is %2")
                               .arg(keyIdText(signature_.keyId), keyIdText(key_.keyId)));
    }
    if (crypto_sign_verify_detached(signature_.signature.data(), digest.data(), digest.size(), key_.key.data()) != 0)
        return fail(error, QStringLiteral("the signature does not match the %1 bytes received").arg(bytesSeen_));

    // The trusted comment is signed together with the file's signature, so neither can be swapped.
    QByteArray signedComment(reinterpret_cast<const char *>(signature_.signature.data()), qsizetype(signature_.signature.size()));
    signedComment += signature_.trustedComment;
    if (crypto_sign_verify_detached(signature_.globalSignature.data(),
                                    reinterpret_cast<const unsigned char *>(signedComment.constData()),
                                    static_cast<unsigned long long>(signedComment.size()), key_.key.data()) != 0)
        return fail(error, QStringLiteral("the trusted comment does not match its signature"));
    return true;
}

}  // namespace archives
