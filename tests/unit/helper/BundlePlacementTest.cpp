#include "BundlePlacement.h"
#include "MinisignTool.h"
#include "TestZip.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace platform::placement;

namespace {

using Entry = TestZipEntry;

const QByteArray kInfo = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                         "<key>CFBundleExecutable</key><string>Corvala</string></dict></plist>";

QList<Entry> product(const QByteArray &marker)
{
    return {{"Corvala.app/Contents/Info.plist", kInfo},
            {"Corvala.app/Contents/MacOS/Corvala", "#!/bin/sh\n" + marker, AE_IFREG, 02777},
            {"Corvala.app/Contents/Resources/", {}, AE_IFDIR, 01777},
            {"Corvala.app/Contents/Resources/current", {}, AE_IFLNK, 0777, "../MacOS/Corvala"}};
}

QByteArray zipOf(const QList<Entry> &entries) { return testZipBytes(entries); }

QByteArray request(const QByteArray &archive)
{
    return "length " + QByteArray::number(archive.size()) + "\n\n" + archive;
}

// Feeds bytes to the placement through a file, as the helper's standard input.
Status placeFrom(BundlePlacement &placement, const QTemporaryDir &dir, const QByteArray &input)
{
    QFile file(dir.filePath("stdin"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(input);
    file.close();
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return placement.run(file.handle());
}

mode_t modeOf(const QString &path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
}

class BundlePlacementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the placement gives the bundle to root";
        apps = dir.filePath("Applications");
        settings.applicationsDirectory = apps;
        settings.bundleName = "Corvala.app";
        settings.productName = "Corvala";
        settings.menuFolder = dir.filePath("menu");
    }
    QStringList appsEntries() const { return QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }

    QTemporaryDir dir;
    QString apps;
    platform::PlacementSettings settings;
};

}  // namespace

TEST_F(BundlePlacementTest, PlacesANormalisedRootOwnedBundleAndReplacesTheOldOneWhole)
{
    for (const QByteArray &marker : {QByteArray("first"), QByteArray("second")}) {
        BundlePlacement placement(settings);
        ASSERT_EQ(placeFrom(placement, dir, request(zipOf(product(marker)))), Placed)
            << placement.errorString().toStdString();
        EXPECT_EQ(appsEntries(), QStringList{"Corvala.app"}) << "no staging folder or old bundle is left";
        QFile exe(apps + "/Corvala.app/Contents/MacOS/Corvala");
        ASSERT_TRUE(exe.open(QIODevice::ReadOnly));
        EXPECT_TRUE(exe.readAll().endsWith(marker));
    }
    QFile entry(dir.filePath("menu/Corvala.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly)) << "the placed product has a menu entry";
    EXPECT_TRUE(entry.readAll().contains(QFile::encodeName(apps) + "/Corvala.app/Contents/MacOS/Corvala"));
    EXPECT_EQ(modeOf(apps + "/Corvala.app"), 0755u);
    EXPECT_EQ(modeOf(apps + "/Corvala.app/Contents/MacOS/Corvala"), 0755u);
    EXPECT_EQ(modeOf(apps + "/Corvala.app/Contents/Info.plist"), 0644u);
    EXPECT_EQ(modeOf(apps + "/Corvala.app/Contents/Resources"), 0755u);
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(apps + "/Corvala.app/Contents/Resources/current").constData(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u);
}

TEST_F(BundlePlacementTest, RefusedRequestsLeaveTheOldBundleAndNoStagingBehind)
{
    const QByteArray good = zipOf(product("old"));
    struct Case {
        const char *what;
        QByteArray input;
        Status expected;
    };
    QList<Entry> noExecutable = product("x");
    noExecutable[1].perm = 0644;
    QList<Entry> linkOutOfBundle = product("x");
    linkOutOfBundle.append(Entry{"Corvala.app/Contents/out", {}, AE_IFLNK, 0777, "../../Other.app/x"});
    linkOutOfBundle.append(Entry{"Other.app/x", "x"});
    QList<Entry> chain = product("x");
    chain.append(Entry{"Corvala.app/d", {}, AE_IFLNK, 0777, "."});
    chain.append(Entry{"Corvala.app/esc", {}, AE_IFLNK, 0777, "d/d/../../etc/hostname"});
    const QByteArray archive = zipOf(product("new"));
    const QList<Case> cases = {
        {"no header", archive, BadRequest},
        {"stream ends early", request(archive).chopped(10), BadRequest},
        {"more than announced", request(archive) + "tail", BadRequest},
        {"not an archive", request("this is not a zip"), ExtractFailed},
        {"link chain", request(zipOf(chain)), ExtractFailed},
        {"wrong bundle name", request(zipOf({{"Other.app/Contents/Info.plist", kInfo}})), BadBundle},
        {"executable without execute bit", request(zipOf(noExecutable)), BadBundle},
        {"link that leaves the bundle", request(zipOf(linkOutOfBundle)), BadBundle},
    };
    BundlePlacement first(settings);
    ASSERT_EQ(placeFrom(first, dir, request(good)), Placed);
    for (const Case &c : cases) {
        BundlePlacement placement(settings);
        EXPECT_EQ(placeFrom(placement, dir, c.input), c.expected) << c.what << ": " << placement.errorString().toStdString();
        EXPECT_FALSE(placement.errorString().isEmpty()) << c.what;
        EXPECT_EQ(appsEntries(), QStringList{"Corvala.app"}) << c.what;
        QFile exe(apps + "/Corvala.app/Contents/MacOS/Corvala");
        ASSERT_TRUE(exe.open(QIODevice::ReadOnly)) << c.what;
        EXPECT_TRUE(exe.readAll().endsWith("old")) << c.what;
    }
}

TEST_F(BundlePlacementTest, WithABundleKeyOnlyAnArchiveSignedWithItIsPlaced)
{
    const MinisignTool signer;
    const MinisignTool stranger;
    ASSERT_TRUE(signer.isValid() && stranger.isValid()) << signer.failure().toStdString();
    settings.archivePublicKey = QString::fromLatin1(signer.publicKeyLine());
    const QByteArray archive = zipOf(product("new"));
    QByteArray flipped = archive;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x01);
    const auto signedRequest = [](const QByteArray &zip, const QByteArray &signature) {
        return "length " + QByteArray::number(zip.size()) + "\nsignature " + signature.toBase64() + "\n\n" + zip;
    };
    struct Case {
        const char *what;
        QByteArray input;
    };
    const QList<Case> refused = {
        {"no signature", request(archive)},
        {"a flipped byte", signedRequest(flipped, signer.sign(archive))},
        {"another key's signature", signedRequest(archive, stranger.sign(archive))},
        {"a signature that is not minisign's", signedRequest(archive, "untrusted comment: x\nnot base64\n")},
    };
    for (const Case &c : refused) {
        BundlePlacement placement(settings);
        EXPECT_EQ(placeFrom(placement, dir, c.input), SignatureRejected) << c.what;
        EXPECT_TRUE(appsEntries().isEmpty()) << c.what << ": nothing may be placed";
    }
    BundlePlacement placement(settings);
    ASSERT_EQ(placeFrom(placement, dir, signedRequest(archive, signer.sign(archive))), Placed)
        << placement.errorString().toStdString();
    EXPECT_EQ(appsEntries(), QStringList{"Corvala.app"});
}
