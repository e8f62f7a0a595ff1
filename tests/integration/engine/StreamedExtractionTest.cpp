// Extraction while the body arrives from nginx: the streamed tree against the finished archive's,
// archives whose local headers and central directory disagree, and bodies refused after they
// were streamed.
#include "EngineTestSupport.h"
#include "MinisignTool.h"
#include "NginxServer.h"

#include "archive/StreamingZipExtraction.h"
#include "archive/ZipExtractor.h"
#include "engine/QSDownloader.h"
#include "engine/QSInstallFiles.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace enginetest;

namespace {

// Every name under top with its mode, and its content's hash or its link's target (not followed).
QMap<QString, QString> treeOf(const QString &top)
{
    QMap<QString, QString> tree;
    for (QDirIterator it(top, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        const QByteArray encoded = QFile::encodeName(path);
        struct stat status {};
        QByteArray what = "unreadable";
        if (::lstat(encoded.constData(), &status) == 0) {
            char target[4096];
            const ssize_t length = S_ISLNK(status.st_mode) ? ::readlink(encoded.constData(), target, sizeof target) : 0;
            what = QByteArray::number(status.st_mode, 8) + ' ' +
                (S_ISLNK(status.st_mode) ? QByteArray(target, qMax<ssize_t>(length, 0))
                 : S_ISREG(status.st_mode) ? QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256).toHex() : QByteArray());
        }
        tree.insert(QDir(top).relativeFilePath(path), QString::fromUtf8(what));
    }
    return tree;
}

// An earlier copy of a file before the bundle, which only the local headers still name.
QByteArray withUnlistedEntry(const QList<ZipEntry> &entries)
{
    return centralDirectoryModesZipBytes(QList<ZipEntry>{{"Corvala.app/Contents/Resources/old.txt", "old"}} + entries, true, 1);
}

// The product whose executable the local headers give as "exit 0" and the central directory, through
// a local header hidden inside another entry's data, as "exit 7": same name, type, mode and size.
QByteArray withHiddenHeader()
{
    return hiddenHeaderZipBytes(productEntries(), "Corvala.app/Contents/MacOS/corvala", "#!/bin/sh\nexit 7\n",
                                "Corvala.app/Contents/Resources/carrier.bin");
}

}  // namespace

TEST(StreamedExtraction, GivesTheFinishedArchivesTreeOrSaysItCannot)
{
    const QList<ZipEntry> product = productEntries();
    const QList<ZipEntry> plainFiles = {{"Docs/"}, {"Docs/read me.txt", "hello"}, {"Docs/empty"}, {"Docs/deep/a/b/c.txt", "c"}};
    QList<ZipEntry> fromInside = {{"./"}};  // what `bsdtar -cf Corvala.zip .` gives beside the bundle
    for (ZipEntry entry : product) {
        entry.path.prepend("./");
        fromInside.append(entry);
    }
    struct Case {
        QString what;
        QByteArray archive;
        std::optional<bool> streams;  // none: exactly when the finished archive extracts
        QByteArray leftover{};  // bytes of another body on disk that the server replaces whole
    };
    QByteArray otherCrc = makeZip(product);  // the central directory's CRC-32 of the first entry, not its own
    otherCrc[otherCrc.indexOf("PK\x01\x02") + 16] = char(otherCrc[otherCrc.indexOf("PK\x01\x02") + 16] ^ 0x5a);
    QList<Case> cases = {
        {"a central directory that gives an entry another CRC-32", otherCrc, false},
        {"a bundle with 3 MiB of noise", makeZip(product + QList<ZipEntry>{{"Corvala.app/Contents/Resources/noise.bin", noise(3 << 20, 1)}}), true},
        {"UTF-8 names, empty files, deep folders, an executable",
         makeZip(plainFiles + QList<ZipEntry>{{"Docs/Ünïcødé ✓.txt", "x"}, {"Docs/run", "#!/bin/sh\n", {}, 0755}}), true},
        {"the body starts over after bytes of another archive", makeZip(product + QList<ZipEntry>{{"Corvala.app/n", noise(1 << 20, 2)}}), true,
         makeZip(productEntries("Other.app") << ZipEntry{"Other.app/big", noise(1 << 20, 3)}).left(700 * 1024)},
        {"modes and links only in the central directory", centralDirectoryModesZipBytes(product, false), true},
        {"the same, sizes after the data", centralDirectoryModesZipBytes(product, true), true},
        {"an entry that the central directory leaves out", withUnlistedEntry(product), false},
        {"a local header hidden inside another entry's data", withHiddenHeader(), false},
        {"plain files and folders, sizes after the data", centralDirectoryModesZipBytes(plainFiles, true), true},
        {"made inside the bundle's folder: every name starts with ./", makeZip(fromInside), true},
        {"not an archive", noise(64 * 1024, 4), false},
    };
    // The fuzzer's seeds: honest archives from Python's zipfile and hostile ones of every kind.
    for (const QFileInfo &seed : QDir(TI_FUZZ_SEEDS "/zip").entryInfoList({"*.zip"}, QDir::Files))
        cases.append({"seed " + seed.fileName(), readFile(seed.filePath()), std::nullopt});
    ASSERT_GT(cases.size(), 12);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what.toStdString());
        TestEnv env;
        NginxServer nginx;
        nginx.putFile(QStringLiteral("a.zip"), c.archive);
        ASSERT_TRUE(nginx.start({.limitRate = QStringLiteral("2m"), .serveRanges = true}));
        const QString archive = env.path("a.zip"), streamedTree = env.path("streamed"), finishedTree = env.path("finished");
        QSDownloader downloader(nginx.url(QStringLiteral("/a.zip")), archive, {});
        if (!c.leftover.isEmpty()) {
            QFile partial(QSInstallFiles::partialPathFor(archive));
            ASSERT_TRUE(partial.open(QIODevice::WriteOnly) && partial.write(c.leftover) == c.leftover.size());
            downloader.setResumePoint({c.leftover.size(), c.archive.size(), "\"not-this-version\""});
        }
        auto streamed = std::make_shared<archives::StreamingZipExtraction>(QSInstallFiles::partialPathFor(archive), streamedTree);
        streamed->start();
        downloader.onBodyBytes = [streamed](QByteArrayView bytes) { streamed->bytesWritten(bytes.size()); };
        downloader.onBodyRestarted = [streamed] { streamed->restarted(); };
        std::optional<QSDownloader::Outcome> outcome;
        downloader.onFinished = [&](const QSDownloader::Outcome &o) { outcome = o; };
        ASSERT_TRUE(downloader.start(nullptr));
        ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 30000));
        ASSERT_EQ(outcome->httpStatus, 200);
        EXPECT_EQ(outcome->restarted, !c.leftover.isEmpty());
        ASSERT_EQ(readFile(archive), c.archive);

        QString why;
        const bool kept = streamed->finish(archive, &why);
        EXPECT_EQ(why.isEmpty(), kept);
        archives::ZipExtractor whole;
        const bool extracted = whole.extract(archive, finishedTree);
        EXPECT_EQ(kept, c.streams.value_or(extracted)) << why.toStdString();
        if (kept) {
            ASSERT_TRUE(extracted) << whole.errorString().toStdString();
            EXPECT_EQ(treeOf(streamedTree), treeOf(finishedTree));
        }
    }
}

// Through the flow: an archive that cannot stream is extracted when finished, as `bsdtar -x` makes
// it. (A refused body places nothing and leaves no staging folder: Flow.EachAnswer....) With a key, no byte is parsed before the signature holds: the private temporary folder
// never holds anything but the archive, even while a bomb arrives.
TEST(StreamedExtraction, TheFlowPlacesTheFinishedArchivesTreeOrNothing)
{
    MinisignTool signer;
    ASSERT_TRUE(signer.isValid()) << signer.failure().toStdString();
    const QByteArray archive = makeZip(productEntries() << ZipEntry{"Corvala.app/Contents/Resources/noise.bin", noise(1 << 20, 5)});
    const QByteArray bomb = makeZip(productEntries() << ZipEntry{"Corvala.app/Contents/Resources/zeros.bin", QByteArray(64 << 20, 0)});
    const struct {
        const char *what;
        QByteArray served;
        QString key;
        const char *reason;  // how the "Download" event's reason starts, or what the record of the finished archive says
        QStringList events;
        QByteArray executable = {};  // of the placed bundle, as the central directory gives it
    } cases[] = {
        {"an entry that the central directory leaves out", withUnlistedEntry(productEntries()), {}, "streamed",
         {"Config", "Download", "Extract", "Install"}, "#!/bin/sh\nexit 0\n"},
        {"the executable's header hidden inside another entry's data", withHiddenHeader(), {}, "lies inside the data of",
         {"Config", "Download", "Extract", "Install"}, "#!/bin/sh\nexit 7\n"},
        {"a bomb whose signature is another archive's", bomb, QString(signer.publicKeyLine()), "Signature verification failed",
         {"Config", "Install", "Download"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FlowFixture f;
        ASSERT_TRUE(QSInstallFiles::writeVersionFile(f.versionFile(), "1000", nullptr));
        if (!c.key.isEmpty())
            f.env.setSetting("kQSArchivePublicKey", c.key);
        NginxServer nginx;
        nginx.putFile(QStringLiteral("Corvala.zip"), c.served);
        ASSERT_TRUE(nginx.start({.limitRate = QStringLiteral("2m"), .serveRanges = true}));
        const QUrl url = nginx.url(QStringLiteral("/Corvala.zip"));
        QSet<QString> seen;  // everything that ever appears in the private temporary folder
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            for (const QString &name : QDir(f.env.host.temporary).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
                seen.insert(name);
        });
        watch.start(1);
        f.startWith(url.toString(), 1, signer.sign(archive));
        ASSERT_TRUE(f.waitUntilSettled());
        watch.stop();
        EXPECT_EQ(f.eventNames(), c.events);
        if (!c.key.isEmpty()) {
            seen.subtract({"downloadedFile.tmp.part", "downloadedFile.tmp"});
            EXPECT_TRUE(seen.isEmpty()) << "parsed before verified: " << QStringList(seen.values()).join(", ").toStdString();
        }
        if (!c.executable.isEmpty()) {
            const QStringList records = f.env.logLines().filter("Extracted the finished archive instead of the streamed one: ");
            ASSERT_EQ(records.size(), 1);
            EXPECT_TRUE(records.first().contains(QLatin1String(c.reason))) << records.first().toStdString();
            const QString reference = f.env.path("reference");
            QFile copy(f.env.path("reference.zip"));
            ASSERT_TRUE(copy.open(QIODevice::WriteOnly) && copy.write(c.served) == c.served.size() && QDir().mkpath(reference));
            copy.close();
            ASSERT_EQ(QProcess::execute("bsdtar", {"-x", "-f", copy.fileName(), "-C", reference}), 0);
            EXPECT_EQ(treeOf(f.bundlePath()), treeOf(reference + "/Corvala.app"));
            EXPECT_EQ(readFile(f.bundlePath() + "/Contents/MacOS/corvala"), c.executable);
            continue;
        }
        EXPECT_EQ(f.screens.genericErrors, QStringList({"Download Error"}));
        EXPECT_TRUE(f.named("Download").value("RSN").toString().startsWith(c.reason)) << f.named("Download").value("RSN").toString().toStdString();
        EXPECT_FALSE(QFileInfo::exists(f.bundlePath()));
        EXPECT_TRUE(isEmptyFolder(f.env.host.temporary)) << "no staging folder, no archive";
        EXPECT_EQ(readFile(f.versionFile()), QSInstallFiles::versionFileContent("1000"));
    }
}
