// The signature check against keys and signatures made by the real minisign tool.
#include "archive/MinisignVerifier.h"

#include "MinisignTool.h"

#include <gtest/gtest.h>

using archives::MinisignVerifier;

namespace {

// Feeds data in pieces of the given size and verifies; the reason on failure.
bool verifyStreamed(QByteArrayView key, QByteArrayView signature, const QByteArray &data, qsizetype piece, QString *reason)
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

class MinisignVerifierTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tool.isValid() && stranger.isValid()) << tool.failure().toStdString();
        for (int i = 0; i < 300000; ++i)
            data.append(char((i * 131) ^ (i >> 7)));
    }
    MinisignTool tool, stranger;
    QByteArray data;
};

}  // namespace

TEST_F(MinisignVerifierTest, OnlyTheSignedBytesUnderTheKeyAndTheTrustedCommentVerify)
{
    const QByteArray signature = tool.sign(data, "timestamp:1 file:Corvala.zip");
    ASSERT_FALSE(signature.isEmpty());
    // Signatures are deterministic: only one over other bytes has another file signature.
    const QList<QByteArray> other = tool.sign(data + "other", "build 9999").split('\n');
    QByteArray flipped = data;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x01);
    const QByteArray key = tool.publicKeyLine();
    const struct {
        const char *what;
        QByteArray key, signature, data;
        qsizetype piece;
        const char *reason;  // nullptr: verifies
    } cases[] = {
        {"key line, whole body at once", key, signature, data, data.size(), nullptr},
        {"one byte at a time", key, signature, data, 1, nullptr},
        {"the whole .pub file as the key, odd pieces", tool.publicKeyFile(), signature, data, 4099, nullptr},
        {"CR LF line ends", key, QByteArray(signature).replace("\n", "\r\n"), data, 65536, nullptr},
        {"no final line end", key, signature.trimmed(), data, 65536, nullptr},
        {"the untrusted comment may change", key, withLine(signature, 0, "untrusted comment: hello"), data, 8192, nullptr},
        {"one flipped bit", key, signature, flipped, 8192, "does not match the 300000 bytes"},
        {"one byte more", key, signature, data + "x", 8192, "does not match"},
        {"another key", stranger.publicKeyLine(), signature, data, 8192, "was made with key"},
        {"signed by another key", key, stranger.sign(data), data, 8192, "was made with key"},
        {"edited trusted comment", key, withLine(signature, 2, "trusted comment: build 1235"), data, 8192,
         "trusted comment does not match"},
        {"comment and global signature of another signature", key, withLine(withLine(signature, 2, other[2]), 3, other[3]),
         data, 8192, "trusted comment does not match"},
        {"three lines", key, withLine(signature, 3, {}).trimmed(), data, 8192, "3 lines instead of 4"},
        {"a legacy signature", key, tool.sign(data, "old", true), data, 8192, "legacy kind"},
        {"a huge text", key, QByteArray(100000, 'a'), data, 8192, "longer than"},
        {"a signature line as the key", signature.split('\n')[1], signature, data, 8192, "42-byte"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QString reason;
        EXPECT_EQ(verifyStreamed(c.key, c.signature, c.data, c.piece, &reason), c.reason == nullptr) << reason.toStdString();
        EXPECT_TRUE(reason.contains(QLatin1String(c.reason ? c.reason : ""))) << reason.toStdString();
    }
    auto verifier = MinisignVerifier::create(key, signature, nullptr);
    ASSERT_TRUE(verifier);
    EXPECT_EQ(verifier->trustedComment(), "timestamp:1 file:Corvala.zip");
    verifier->addData(data);
    EXPECT_TRUE(verifier->verify(nullptr));
    EXPECT_FALSE(verifier->verify(nullptr)) << "a verifier answers once";
}
