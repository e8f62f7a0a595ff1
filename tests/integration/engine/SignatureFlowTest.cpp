// Signed archives through the whole flow against a server on 127.0.0.1, with keys and signatures
// made by the real minisign tool.
#include "EngineTestSupport.h"
#include "MinisignTool.h"
#include "TestHttpServer.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace enginetest;
using Answer = TestHttpServer::Answer;

namespace {

const QString kFinishedFn = QStringLiteral("-[QSMainController URLSession:downloadTask:didFinishDownloadingToURL:]");
const QString kBeginFn = QStringLiteral("-[QSMainController beginInstallation]");

QByteArray withLine(const QByteArray &text, int index, const QByteArray &line)
{
    QList<QByteArray> lines = text.split('\n');
    lines[index] = line;
    return lines.join('\n');
}

}  // namespace

TEST(SignatureFlow, OnlyAnArchiveThatMatchesItsSignatureIsExtracted)
{
    MinisignTool signer, stranger;
    ASSERT_TRUE(signer.isValid() && stranger.isValid()) << signer.failure().toStdString();
    const QByteArray archive = makeZip(productEntries());
    const QByteArray signature = signer.sign(archive, "timestamp:1 file:Corvala.zip");
    QByteArray flipped = archive;
    flipped[flipped.size() / 3] = char(flipped[flipped.size() / 3] ^ 0x20);

    const struct {
        const char *what;
        QVariant key;        // "kQSArchivePublicKey"; none: not in the bundle
        QByteArray signature;  // null: not in the configuration
        QByteArray served;
        const char *problem;  // null: installs
        bool requested = true;
    } cases[] = {
        {"good signature", QString(signer.publicKeyLine()), signature, archive, nullptr},
        {"whole .pub file as the key", QString(signer.publicKeyFile()), signature, archive, nullptr},
        {"no key: no signature needed", QVariant(), QByteArray(), archive, nullptr},
        {"no key: a signature is ignored", QVariant(), "rubbish", archive, nullptr},
        {"flipped archive byte", QString(signer.publicKeyLine()), signature, flipped, "does not match the"},
        {"wrong key", QString(stranger.publicKeyLine()), signature, archive, "was made with key"},
        {"edited trusted comment", QString(signer.publicKeyLine()),
         withLine(signature, 2, "trusted comment: timestamp:1 file:Other.zip"), archive, "trusted comment does not match"},
        {"missing signature", QString(signer.publicKeyLine()), QByteArray(), archive, "the configuration has no signature", false},
        {"malformed signature", QString(signer.publicKeyLine()), "untrusted comment: x\nRUR", archive, "2 lines instead of 4", false},
        {"malformed key in the bundle", QStringLiteral("RWnotakey"), signature, archive, "42-byte minisign key", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        if (c.key.isValid())
            f.env.setSetting("kQSArchivePublicKey", c.key);
        TestHttpServer server;
        server.answer("/Corvala.zip", Answer{200, {}, c.served});
        auto config = std::const_pointer_cast<QSConfig>(makeConfig(server.url("/Corvala.zip").toString()));
        config->latestMacSignature = c.signature.isNull() ? QString() : QString::fromUtf8(c.signature);
        f.flow->startInstallation();
        ASSERT_EQ(f.pending.size(), 1);
        f.pending.takeLast()(config, std::nullopt);
        ASSERT_TRUE(f.waitUntilSettled());

        EXPECT_EQ(server.requests().size(), c.requested ? 1 : 0);
        if (!c.problem) {
            EXPECT_EQ(f.eventNames(), QStringList({"Config", "Download", "Extract", "Install"}));
            EXPECT_EQ(f.named("Install").value("RSLT"), "PASS");
            EXPECT_TRUE(QFileInfo(f.bundlePath() + "/Contents/MacOS/corvala").isExecutable());
            EXPECT_EQ(f.hasRecord("DEBUG", "Archive signature verified (trusted comment: timestamp:1 file:Corvala.zip)",
                                  kFinishedFn),
                      c.key.isValid());
        } else {
            EXPECT_EQ(f.screens.genericErrors, QStringList({"Download Error"}));
            EXPECT_EQ(f.eventNames(), QStringList({"Config", "Install", "Download"}));
            const QJsonObject download = f.named("Download");
            const QJsonObject expected{{"RSLT", "FAIL"}, {"RSN", "Signature verification failed"}, {"Tries", 1},
                                       {"DProd", "Corvala"}, {"DProdVer", "1234"}};
            EXPECT_EQ(fieldsLike(download, expected), expected);
            EXPECT_TRUE(download.value("T").isDouble());
            EXPECT_EQ(f.named("Install").value("RSN"), "Download Error");
            const QStringList errors = f.env.logLines().filter("\"trace\": \"ERROR\"").filter("Signature verification failed: ");
            ASSERT_EQ(errors.size(), 1);
            EXPECT_TRUE(errors.first().contains(QLatin1String(c.problem))) << errors.first().toStdString();
            EXPECT_TRUE(errors.first().contains(c.requested ? kFinishedFn : kBeginFn));
            EXPECT_FALSE(QFileInfo::exists(f.bundlePath())) << "nothing placed";
            EXPECT_TRUE(isEmptyFolder(f.env.host.temporary)) << "nothing extracted or kept";
        }
    }
}
