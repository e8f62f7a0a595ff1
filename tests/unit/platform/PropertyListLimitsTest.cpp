// Property lists whose shape would hurt libplist are refused before it reads them, and those it
// reads into something it cannot hand over are refused after; ordinary ones read as before, and
// broken ones give a reason. The fixtures are findings of the fuzzing in tests/fuzz.

#include "TestEnv.h"

#include "platform/Bundle.h"
#include "platform/PropertyListLimits.h"

#include <gtest/gtest.h>

using platform::Bundle;
using platform::PropertyListLimits;

namespace {

QByteArray nested(const QByteArray &open, const QByteArray &close, int levels)
{
    return "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>k</key>" + open.repeated(levels)
        + close.repeated(levels) + "</dict></plist>";
}

// A binary list whose every array holds the next one twice: 2^levels strings in the tree.
QByteArray selfMultiplying(int levels)
{
    QByteArray objects = "bplist00";
    QList<quint8> offsets;
    offsets << quint8(objects.size());
    objects += "\xD1\x01\x02";  // {key: object 2}
    offsets << quint8(objects.size());
    objects += "\x51k";
    for (int i = 0; i < levels; ++i) {
        offsets << quint8(objects.size());
        objects += char('\xA2');
        objects += char(3 + i);
        objects += char(3 + i);
    }
    offsets << quint8(objects.size());
    objects += "\x51s";
    const quint8 table = quint8(objects.size());
    for (quint8 offset : offsets)
        objects += char(offset);
    QByteArray trailer(32, '\0');
    trailer[6] = 1;
    trailer[7] = 1;
    trailer[15] = char(offsets.size());
    trailer[31] = char(table);
    return objects + trailer;
}

}  // namespace

TEST(PropertyListLimits, RefusesListsThatWouldExhaustTheStackOrTheMemory)
{
    const struct {
        const char *what;
        QByteArray bytes;
        const char *reason;
    } cases[] = {
        {"fixture billion-laughs.bplist", readFile(TI_FUZZ_FIXTURES "/infoplist/billion-laughs.bplist"), "expands to more than"},
        {"fixture nested-200.plist", readFile(TI_FUZZ_FIXTURES "/infoplist/nested-200.plist"), "nested more than 128"},
        {"4 MiB of <array>", QByteArray("<array>").repeated(590'000), "nested more than 128"},
        {"4 MiB of <dict><key>k</key>", QByteArray("<dict><key>k</key>").repeated(230'000), "nested more than 128"},
        {"binary, 2^40 values", selfMultiplying(40), "expands to more than"},
        // libplist reads a key holding a NUL character, then aborts when asked for it.
        {"fixture dictionary-key-not-text.bplist", readFile(TI_FUZZ_FIXTURES "/infoplist/dictionary-key-not-text.bplist"),
         "malformed"},
        {"binary, truncated trailer", selfMultiplying(3).left(20), "malformed"},
        {"not a plist at all", "not a plist at all", ""},
        {"XML cut short", "<plist><dict><key>A</key>", ""},
        {"an array at the top", "<plist version=\"1.0\"><array><string>x</string></array></plist>", ""},
    };
    for (const auto &c : cases) {
        ASSERT_FALSE(c.bytes.isEmpty()) << c.what;
        QString error;
        EXPECT_FALSE(Bundle::parsePropertyList(c.bytes, &error)) << c.what;
        EXPECT_TRUE(!error.isEmpty() && error.contains(QLatin1String(c.reason))) << c.what << ": " << error.toStdString();
    }
}

TEST(PropertyListLimits, OrdinaryListsReadAsBefore)
{
    QString error;
    const auto xml = Bundle::parsePropertyList(readFile(TI_SOURCE_DIR "/resources/Info.plist"), &error);
    ASSERT_TRUE(xml) << error.toStdString();
    const auto binary = Bundle::parsePropertyList(readFile(TI_FUZZ_SEEDS "/infoplist/Info.binary.plist"), &error);
    ASSERT_TRUE(binary) << error.toStdString();
    EXPECT_EQ(*xml, *binary);
    EXPECT_EQ(xml->value("QSConfig").toMap().value("APP_NAME").toString(), QStringLiteral("Corvala"));
    EXPECT_FALSE(Bundle::readPropertyList(TI_SOURCE_DIR "/absent.plist", &error));
    EXPECT_TRUE(error.contains("absent.plist")) << error.toStdString();

    // Deep but within bounds, empty containers written short, and a small shared binary tree.
    for (const QByteArray &list : {nested("<array>", "</array>", 100), nested("<array>" + QByteArray("<array/>").repeated(1000), "</array>", 1)})
        EXPECT_TRUE(Bundle::parsePropertyList(list, &error)) << error.toStdString();
    const auto shared = Bundle::parsePropertyList(selfMultiplying(4), &error);
    ASSERT_TRUE(shared) << error.toStdString();
    EXPECT_EQ(shared->value("k").toList().size(), 2);
}
