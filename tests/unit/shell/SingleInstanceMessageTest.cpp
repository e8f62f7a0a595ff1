// The single-instance wire format on its own: framing of what a connection delivers, and the
// decoding of each line. (A line break inside a handed-over URL: SingleInstanceTest.)

#include "shell/SingleInstanceMessage.h"

#include <gtest/gtest.h>

using shell::SingleInstanceMessage;

TEST(SingleInstanceMessage, LinesAreTakenWholeAndTheRestWaits)
{
    QByteArray pending = "activate\nopen qsd://crashInfo\r\n\nopen qsd://lic";
    const QList<QByteArray> lines = SingleInstanceMessage::takeLines(pending);
    EXPECT_EQ(lines, (QList<QByteArray>{"activate", "open qsd://crashInfo\r"}));
    EXPECT_EQ(pending, QByteArray("open qsd://lic"));
    pending += "enseAgreement\n";
    EXPECT_EQ(SingleInstanceMessage::takeLines(pending), QList<QByteArray>{"open qsd://licenseAgreement"});
    EXPECT_TRUE(pending.isEmpty());
}

TEST(SingleInstanceMessage, DecodesOnlyTheTwoMessages)
{
    using Kind = SingleInstanceMessage::Kind;
    EXPECT_EQ(SingleInstanceMessage::encode(QString()), QByteArray("activate\n"));
    const auto activate = SingleInstanceMessage::decode("activate\r");
    ASSERT_TRUE(activate);
    EXPECT_EQ(activate->kind, Kind::Activate);
    const auto open = SingleInstanceMessage::decode("open caf\xC3\xA9://x y");
    ASSERT_TRUE(open);
    EXPECT_EQ(open->kind, Kind::Open);
    EXPECT_EQ(open->url, QStringLiteral(u"café://x y"));
    for (const QByteArray &line : {QByteArray("open "), QByteArray("open"), QByteArray("activate now"),
                                   QByteArray("Activate"), QByteArray(""), QByteArray("\r"), QByteArray("x\0activate", 10)})
        EXPECT_FALSE(SingleInstanceMessage::decode(line)) << line.toStdString();
}
