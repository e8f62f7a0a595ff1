// The signature check against keys and signatures made by the real minisign tool.
#include "archive/MinisignVerifier.h"

#include "MinisignTool.h"

#include <gtest/gtest.h>

using archives::MinisignVerifier;

namespace {

QByteArray archiveBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 300000; ++i)
        bytes.append(char((i * 131) ^ (i >> 7)));
    return bytes;
}

// Feeds data in pieces of the given size and verifies; the reason on failure.
bool verifyStreamed(QByteArrayView key, QByteArrayView signature, const QByteArray &data, qsizetype piece,
                    QString *reason)
{
    auto verifier = MinisignVerifier::create(key, signature, reason);
    if (!verifier)
        return false;
    for (qsizetype at = 0; at < data.size(); at += piece)
        verifier->addData(QByteArrayView(data).sliced(at, std::min(piece, data.size() - at)));
    return verifier->verify(reason);
}

// Replaces line index (0-based) of a signature text.
QByteArray withLine(const QByteArray &text, int index, const QByteArray &line)
{
    QList<QByteArray> lines = text.split('\n');
    lines[index] = line;
    return lines.join('\n');
}

// Whether two signature texts read as the same signature.
bool sameContent(const QByteArray &a, const QByteArray &b)
{
    const auto first = MinisignVerifier::parseSignature(a, nullptr), second = MinisignVerifier::parseSignature(b, nullptr);
    return first && second && first->keyId == second->keyId && first->signature == second->signature &&
        first->trustedComment == second->trustedComment && first->globalSignature == second->globalSignature;
}

class MinisignVerifierTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tool.isValid()) << tool.failure().toStdString(); }
    MinisignTool tool;
    const QByteArray data = archiveBytes();
};

}  // namespace

TEST_F(MinisignVerifierTest, AGoodSignatureVerifiesHoweverTheBytesArrive)
{
    const QByteArray signature = tool.sign(data, "timestamp:1 file:Corvala.zip");
    ASSERT_FALSE(signature.isEmpty());
    const struct {
        const char *what;
        QByteArray key, signature;
        qsizetype piece;
    } cases[] = {
        {"key line, whole body at once", tool.publicKeyLine(), signature, data.size()},
        {"one byte at a time", tool.publicKeyLine(), signature, 1},
        {"odd pieces", tool.publicKeyLine(), signature, 4099},
        {"the whole .pub file as the key", tool.publicKeyFile(), signature, 65536},
        {"CR LF line ends", tool.publicKeyLine(), QByteArray(signature).replace("\n", "\r\n"), 65536},
        {"no final line end", tool.publicKeyLine(), signature.trimmed(), 65536},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QString reason;
        EXPECT_TRUE(verifyStreamed(c.key, c.signature, data, c.piece, &reason)) << reason.toStdString();
    }

    auto verifier = MinisignVerifier::create(tool.publicKeyLine(), signature, nullptr);
    ASSERT_TRUE(verifier);
    EXPECT_EQ(verifier->trustedComment(), "timestamp:1 file:Corvala.zip");
    verifier->addData(data);
    EXPECT_EQ(verifier->bytesSeen(), data.size());
    EXPECT_TRUE(verifier->verify(nullptr));
    QString reason;
    EXPECT_FALSE(verifier->verify(&reason)) << "a verifier answers once";
    EXPECT_FALSE(reason.isEmpty());
}

TEST_F(MinisignVerifierTest, TamperedBytesKeysOrCommentsAreRefusedWithTheirReason)
{
    const QByteArray signature = tool.sign(data);
    // Signatures are deterministic: only one over other bytes has another file signature.
    const QByteArray otherSignature = tool.sign(data + "other", "build 9999");
    MinisignTool stranger;
    ASSERT_TRUE(stranger.isValid());
    QByteArray flipped = data;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x01);
    const QList<QByteArray> otherLines = otherSignature.split('\n');

    const struct {
        const char *what;
        QByteArray key, signature, data;
        const char *reason;
    } cases[] = {
        {"one flipped bit", tool.publicKeyLine(), signature, flipped, "does not match the 300000 bytes"},
        {"one byte missing", tool.publicKeyLine(), signature, data.chopped(1), "does not match"},
        {"one byte more", tool.publicKeyLine(), signature, data + "x", "does not match"},
        {"another key", stranger.publicKeyLine(), signature, data, "was made with key"},
        {"signed by another key", tool.publicKeyLine(), stranger.sign(data), data, "was made with key"},
        {"edited trusted comment", tool.publicKeyLine(), withLine(signature, 2, "trusted comment: build 1235"), data,
         "trusted comment does not match"},
        {"comment and global signature of another signature", tool.publicKeyLine(),
         withLine(withLine(signature, 2, otherLines[2]), 3, otherLines[3]), data, "trusted comment does not match"},
        {"the untrusted comment may change", tool.publicKeyLine(), withLine(signature, 0, "untrusted comment: hello"),
         data, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QString reason;
        const bool verified = verifyStreamed(c.key, c.signature, c.data, 8192, &reason);
        EXPECT_EQ(verified, c.reason == nullptr);
        if (c.reason) {
            EXPECT_TRUE(reason.contains(QLatin1String(c.reason))) << reason.toStdString();
        }
    }
}

TEST_F(MinisignVerifierTest, MalformedTextsAreRefusedClearly)
{
    const QByteArray signature = tool.sign(data);
    const QByteArray legacy = tool.sign(data, "old", true);
    ASSERT_FALSE(legacy.isEmpty());
    const QList<QByteArray> lines = signature.split('\n');
    const QByteArray packed = QByteArray::fromBase64(lines[1]);
    const QByteArray keyBytes = QByteArray::fromBase64(tool.publicKeyLine());

    const struct {
        const char *what;
        QByteArray text;
        const char *reason;
    } signatures[] = {
        {"nothing", "", "there is no signature"},
        {"three lines", lines.mid(0, 3).join('\n'), "3 lines instead of 4"},
        {"a fifth line", signature + "extra\n", "5 lines instead of 4"},
        {"no untrusted comment prefix", withLine(signature, 0, "comment: x"), "first line"},
        {"signature not base64", withLine(signature, 1, "RUR***"), "second line"},
        {"signature one byte short", withLine(signature, 1, packed.chopped(1).toBase64()), "second line"},
        {"legacy signature", legacy, "legacy kind"},
        {"unknown algorithm", withLine(signature, 1, ("XX" + packed.mid(2)).toBase64()), "algorithm"},
        {"no trusted comment prefix", withLine(signature, 2, "trusted: x"), "third line"},
        {"global signature cut", withLine(signature, 3, lines[3].left(40)), "fourth line"},
        {"global signature without its padding", withLine(signature, 3, lines[3].chopped(2)), "fourth line"},
        {"a huge text", QByteArray(100000, 'a'), "longer than"},
        {"binary noise", QByteArray("\0\xff\n\0\n\0\n\0", 8), "first line"},
    };
    for (const auto &c : signatures) {
        SCOPED_TRACE(c.what);
        QString reason;
        EXPECT_FALSE(MinisignVerifier::parseSignature(c.text, &reason));
        EXPECT_TRUE(reason.contains(QLatin1String(c.reason))) << reason.toStdString();
        EXPECT_FALSE(MinisignVerifier::create(tool.publicKeyLine(), c.text, nullptr));
    }

    const struct {
        const char *what;
        QByteArray text;
        const char *reason;
    } keys[] = {
        {"nothing", "", "not one minisign key line"},
        {"two key lines", tool.publicKeyLine() + "\n" + tool.publicKeyLine(), "not one minisign key line"},
        {"a signature line as the key", lines[1], "42-byte"},
        {"not base64", "RW!!", "42-byte"},
        {"another algorithm", ("XX" + keyBytes.mid(2)).toBase64(), "not an Ed25519"},
        {"a huge text", QByteArray(5000, 'R'), "longer than"},
    };
    for (const auto &c : keys) {
        SCOPED_TRACE(c.what);
        QString reason;
        EXPECT_FALSE(MinisignVerifier::parsePublicKey(c.text, &reason));
        EXPECT_TRUE(reason.contains(QLatin1String(c.reason))) << reason.toStdString();
    }
}

TEST_F(MinisignVerifierTest, NoDamagedSignatureTextEverVerifies)
{
    // Every cut and every single-bit change of the text is either refused when read or fails to
    // verify, except the few that leave what is signed the same (a line end, a blank, a base64
    // padding bit).
    const QByteArray small = data.left(1000);
    const QByteArray signature = tool.sign(small);
    const qsizetype untrustedEnd = signature.indexOf('\n');
    for (qsizetype length = 0; length < signature.size() - 1; ++length) {
        QString reason;
        EXPECT_FALSE(verifyStreamed(tool.publicKeyLine(), signature.left(length), small, 1000, &reason)) << length;
    }
    for (qsizetype at = untrustedEnd + 1; at < signature.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            QByteArray damaged = signature;
            damaged[at] = char(damaged[at] ^ (1 << bit));
            if (sameContent(damaged, signature))
                continue;
            QString reason;
            EXPECT_FALSE(verifyStreamed(tool.publicKeyLine(), damaged, small, 1000, &reason))
                << "byte " << at << " bit " << bit;
        }
    }
}
