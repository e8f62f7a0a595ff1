#include "BundlePlacement.h"
#include "MinisignTool.h"
#include "StagingFolder.h"
#include "TestZip.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace archives::placement;

namespace {

using Entry = TestZipEntry;

QByteArray infoWith(const QByteArray &shortVersion, const QByteArray &build)
{
    QByteArray info = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                      "<key>CFBundleExecutable</key><string>Corvala</string>";
    if (!shortVersion.isEmpty())
        info += "<key>CFBundleShortVersionString</key><string>" + shortVersion + "</string>";
    if (!build.isEmpty())
        info += "<key>CFBundleVersion</key><string>" + build + "</string>";
    return info + "</dict></plist>";
}

QList<Entry> product(const QByteArray &marker, const QByteArray &version = {}, const QByteArray &build = {})
{
    return {{"Corvala.app/Contents/Info.plist", infoWith(version, build)},
            {"Corvala.app/Contents/MacOS/Corvala", "#!/bin/sh\n" + marker, AE_IFREG, 02777},
            {"Corvala.app/Contents/Resources/", {}, AE_IFDIR, 01777},
            {"Corvala.app/Contents/Resources/current", {}, AE_IFLNK, 0777, "../MacOS/Corvala"}};
}

QByteArray zipOf(const QList<Entry> &entries) { return testZipBytes(entries); }

QByteArray unsignedRequest(const QByteArray &archive)
{
    return "length " + QByteArray::number(archive.size()) + "\n\n" + archive;
}

QByteArray signedRequest(const QByteArray &zip, const QByteArray &signature)
{
    return "length " + QByteArray::number(zip.size()) + "\nsignature " + signature.toBase64() + "\n\n" + zip;
}

mode_t modeOf(const QString &path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class BundlePlacementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the placement gives the bundle to root";
        ASSERT_TRUE(signer.isValid()) << signer.failure().toStdString();
        apps = dir.filePath("Applications");
        settings.applicationsDirectory = apps;
        settings.bundleName = "Corvala.app";
        settings.productName = "Corvala";
        settings.menuFolder = dir.filePath("menu");
        settings.archivePublicKey = QString::fromLatin1(signer.publicKeyLine());
        settings.maxArchiveBytes = qint64(1) << 30;
    }
    QStringList appsEntries() const { return QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }
    QByteArray request(const QByteArray &archive) const { return signedRequest(archive, signer.sign(archive)); }
    QByteArray installedExecutable() const { return contentOf(apps + "/Corvala.app/Contents/MacOS/Corvala"); }

    // Feeds bytes to a placement through a file, as the helper's standard input; *consumed, when
    // given, is how much of it the placement read.
    Status place(const QByteArray &input, QString *error = nullptr, qint64 *consumed = nullptr,
                 QList<QByteArray> *lines = nullptr)
    {
        QFile file(dir.filePath("stdin"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(input);
        file.close();
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        BundlePlacement placement(settings);
        placement.setReporter([lines](const QByteArray &line) {
            if (lines)
                lines->append(line);
        });
        const Status status = placement.run(file.handle());
        if (error)
            *error = placement.errorString();
        if (consumed)
            *consumed = ::lseek(file.handle(), 0, SEEK_CUR);
        return status;
    }

    QTemporaryDir dir;
    QString apps;
    archives::PlacementSettings settings;
    const MinisignTool signer;
};

}  // namespace

TEST_F(BundlePlacementTest, PlacesANormalisedRootOwnedBundleAndReplacesTheOldOneWhole)
{
    for (const QByteArray &marker : {QByteArray("first"), QByteArray("second")}) {
        QString error;
        QList<QByteArray> lines;
        ASSERT_EQ(place(request(zipOf(product(marker))), &error, nullptr, &lines), Placed) << error.toStdString();
        EXPECT_EQ(appsEntries(), QStringList{"Corvala.app"}) << "no staging folder or old bundle is left";
        EXPECT_TRUE(installedExecutable().endsWith(marker));
        // The installer writes its records from these, before the bundle moves.
        ASSERT_EQ(lines.size(), 2);
        EXPECT_EQ(lines[0], "verified");
        EXPECT_TRUE(lines[1].startsWith("staging " + QFile::encodeName(apps) + "/.Corvala.app.staging-")) << lines[1].toStdString();
        EXPECT_TRUE(lines[1].endsWith("/content"));
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
        {"no signature", unsignedRequest(archive), SignatureRejected},
        {"stream ends early", request(archive).chopped(10), BadRequest},
        {"more than announced", request(archive) + "tail", BadRequest},
        {"not an archive", request("this is not a zip"), ExtractFailed},
        {"link chain", request(zipOf(chain)), ExtractFailed},
        {"wrong bundle name", request(zipOf({{"Other.app/Contents/Info.plist", infoWith("", "")}})), BadBundle},
        {"executable without execute bit", request(zipOf(noExecutable)), BadBundle},
        {"link that leaves the bundle", request(zipOf(linkOutOfBundle)), BadBundle},
    };
    ASSERT_EQ(place(request(good)), Placed);
    for (const Case &c : cases) {
        QString error;
        EXPECT_EQ(place(c.input, &error), c.expected) << c.what << ": " << error.toStdString();
        EXPECT_FALSE(error.isEmpty()) << c.what;
        EXPECT_EQ(appsEntries(), QStringList{"Corvala.app"}) << c.what;
        EXPECT_TRUE(installedExecutable().endsWith("old")) << c.what;
    }
}

TEST_F(BundlePlacementTest, OnlyAnArchiveSignedWithTheBundlesKeyIsPlacedAndNothingWithoutAKey)
{
    const MinisignTool stranger;
    ASSERT_TRUE(stranger.isValid()) << stranger.failure().toStdString();
    const QByteArray archive = zipOf(product("new"));
    QByteArray flipped = archive;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x01);
    struct Case {
        const char *what;
        QByteArray input;
        Status expected;
        bool withKey = true;
    };
    const QList<Case> refused = {
        {"no signature", unsignedRequest(archive), SignatureRejected},
        {"a flipped byte", signedRequest(flipped, signer.sign(archive)), SignatureRejected},
        {"another key's signature", signedRequest(archive, stranger.sign(archive)), SignatureRejected},
        {"a signature that is not minisign's", signedRequest(archive, "untrusted comment: x\nnot base64\n"), SignatureRejected},
        {"no key in the bundle, unsigned", unsignedRequest(archive), NotConfigured, false},
        {"no key in the bundle, signed", request(archive), NotConfigured, false},
    };
    const QString key = settings.archivePublicKey;
    for (const Case &c : refused) {
        settings.archivePublicKey = c.withKey ? key : QString();
        EXPECT_EQ(place(c.input), c.expected) << c.what;
        EXPECT_TRUE(appsEntries().isEmpty()) << c.what << ": nothing may be placed";
    }
    settings.archivePublicKey = key;
    QString error;
    ASSERT_EQ(place(request(archive), &error), Placed) << error.toStdString();
    EXPECT_EQ(appsEntries(), QStringList{"Corvala.app"});
}

TEST_F(BundlePlacementTest, AnOlderBundleNeverReplacesANewerOne)
{
    struct Step {
        QByteArray version, build;
        Status expected;
    };
    // In order, each over what the steps before left.
    const QList<Step> steps = {
        {"9.0", "", Placed},
        {"1.0", "", OlderVersion},
        {"8.99.99", "", OlderVersion},
        {"", "", OlderVersion},           // no version at all counts as 0
        {"9.0", "", Placed},              // an equal version reinstalls
        {"9.0.0", "7", Placed},           // a missing component is 0; the build decides next
        {"9", "6", OlderVersion},
        {"9.0", "10", Placed},            // 10 > 7 as numbers, not as text
        {"10.0", "1", Placed},
    };
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const Step &step = steps[i];
        const QByteArray marker = "step " + QByteArray::number(i);
        const QByteArray before = installedExecutable();
        QString error;
        EXPECT_EQ(place(request(zipOf(product(marker, step.version, step.build))), &error), step.expected)
            << "step " << i << ": " << error.toStdString();
        EXPECT_EQ(appsEntries(), QStringList{"Corvala.app"}) << "step " << i;
        if (step.expected == Placed) {
            EXPECT_TRUE(installedExecutable().endsWith(marker)) << "step " << i;
        } else {
            EXPECT_EQ(installedExecutable(), before) << "step " << i << ": the installed bundle stays whole";
            EXPECT_TRUE(error.contains(step.version.isEmpty() ? "none" : step.version)) << error.toStdString();
        }
    }
}

TEST_F(BundlePlacementTest, AnArchiveAboveTheMaximumIsRefusedBeforeItsFirstByte)
{
    const QByteArray archive = zipOf(product("big"));
    settings.maxArchiveBytes = archive.size() - 1;
    const QByteArray input = request(archive);
    QString error;
    qint64 consumed = 0;
    EXPECT_EQ(place(input, &error, &consumed), BadRequest);
    EXPECT_TRUE(error.contains("maximum")) << error.toStdString();
    EXPECT_EQ(consumed, input.indexOf("\n\n") + 2) << "only the header is read";
    EXPECT_TRUE(appsEntries().isEmpty()) << "not even a staging folder";
}

TEST_F(BundlePlacementTest, StagingFoldersWhoseHelperIsGoneAreSwept)
{
    ASSERT_TRUE(QDir().mkpath(apps));
    const QStringList names = {".Corvala.app.staging-Ab12Cd", ".Corvala.app.staging-live00", ".Corvala.app.staging-short",
                               ".Other.app.staging-Ab12Cd", "Corvala.app.staging-Ab12Cd"};
    for (const QString &name : names) {
        ASSERT_TRUE(QDir().mkpath(apps + "/" + name + "/content/Corvala.app"));
        QFile file(apps + "/" + name + "/archive.zip");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    // A living helper holds its folder's lock.
    const int live = ::open(QFile::encodeName(apps + "/.Corvala.app.staging-live00").constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(live, 0);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    EXPECT_EQ(StagingFolder::sweep(apps, "Corvala.app"), 1);
    ::close(live);
    EXPECT_EQ(appsEntries(), QStringList({".Corvala.app.staging-live00", ".Corvala.app.staging-short",
                                          ".Other.app.staging-Ab12Cd", "Corvala.app.staging-Ab12Cd"}));
    EXPECT_EQ(StagingFolder::sweep(apps, "Corvala.app"), 1) << "its helper is gone now";
}
