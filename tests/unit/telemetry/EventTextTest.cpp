// How an event text is taken apart for its run-log record.

#include "telemetry/QSLogger.h"

#include <QList>

#include <gtest/gtest.h>

TEST(QSLoggerEventText, TimeCiAndMessage)
{
    struct Case {
        QString text;
        QString time;
        QString ci;
        QString message;
    };
    const QList<Case> cases = {
        {"T1 ci=abc {\"EVT\":\"Start\"}", "T1", "abc", "{\"EVT\":\"Start\"}"},
        {"T ci=(null) {}", "T", "(null)", "{}"},
        {"T ci=a=b {}", "T", "a", "{}"},           // only what lies between the first two "="
        {"T x {}", "T", "", "{}"},                 // a second piece without "="
        {"T ci=abc", "T", "abc", ""},              // no message
        {"T", "T", "", ""},                        // one piece
        {"", "", "", ""},
        {" ci=abc {}", "", "abc", "{}"},           // empty time
        {"T  {\"a\":1}", "T", "", "{\"a\":1}"},    // empty second piece
        {"T ci=X {\"a\":\"T\"}", "T", "X", "{\"a\":\"\"}"},  // every repeat leaves the message
    };
    for (const Case &c : cases) {
        const QSLogger::EventText event = QSLogger::splitEventText(c.text);
        EXPECT_EQ(event.time, c.time) << c.text.toStdString();
        EXPECT_EQ(event.ci, c.ci) << c.text.toStdString();
        EXPECT_EQ(event.message, c.message) << c.text.toStdString();
    }
}

// Fuzzing finding (tests/fuzz/make-big-inputs.py "spaces"): four million blanks used to become
// four million pieces, a 96 MiB list.
TEST(QSLoggerEventText, MillionsOfBlanks)
{
    const QString blanks(4 * 1024 * 1024, QLatin1Char(' '));
    const QSLogger::EventText event = QSLogger::splitEventText(blanks);
    EXPECT_TRUE(event.time.isEmpty());
    EXPECT_TRUE(event.ci.isEmpty());
    EXPECT_TRUE(event.message.isEmpty());
}
