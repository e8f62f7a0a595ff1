#include "ScopedEnv.h"
#include "TestEnv.h"

#include "platform/InvokingPerson.h"

#include "telemetry/QSLogger.h"
#include "telemetry/QSPortalProvider.h"
#include "telemetry/QSTimeFormat.h"

#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <ctime>

#include <pwd.h>
#include <unistd.h>

namespace {

QSLogContext sampleContext()
{
    QSLogContext context;
    context.language = QStringLiteral("en");
    context.country = QStringLiteral("US");
    context.locale = QStringLiteral("en-US");
    context.file = QStringLiteral("AppDelegate");
    context.function = QStringLiteral("-[AppDelegate applicationWillTerminate:]");
    context.line = QStringLiteral("42");
    return context;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Replaces the time field so the rest of a record can be compared byte for byte.
QByteArray withoutTime(QByteArray record)
{
    static const QRegularExpression time(QStringLiteral("\"time\": \"[^\"]*\""));
    return QString::fromUtf8(record).replace(time, QStringLiteral("\"time\": \"T\"")).toUtf8();
}

}  // namespace

// Records go in order into a file whose folders are made on the way; a message goes in as it
// stands: quotes, backslashes and format placeholders untouched.
TEST(QSLogger, PlainRecordsMatchTheTemplateByteForByte)
{
    TestEnv env;
    ASSERT_FALSE(QFile::exists(QSLogger::logDirectory()));
    EXPECT_EQ(QSLogger::logFilePath(), env.host.home + QStringLiteral("/AppData/Prod/Logs/tiny.log"));
    const QString ci = QSPortalProvider::getCi();
    QSLogger::debug(QStringLiteral("Tiny Installer end"), sampleContext());
    QSLogger::error(QStringLiteral("Error: \"quoted\" \\ kept 50%1 %@ %10"), sampleContext());
    QSLogger::showScreen(QStringLiteral("Welcome"), sampleContext());

    const auto record = [&ci](const QByteArray &trace, const QByteArray &message) {
        return "{ \"time\": \"T\",\"ci\": \"" + ci.toUtf8() + "\", \"trace\": \"" + trace + "\", \"message\":\" " + message +
            "\", \"lang\": \"en\", \"country\": \"US\", \"locale\": \"en-US\", \"file\": \"AppDelegate\", "
            "\"fn\": \"-[AppDelegate applicationWillTerminate:]\", \"line\": \"42\" }\r\n";
    };
    const QByteArray expected = record("DEBUG", "Tiny Installer end") +
        record("ERROR", "Error: \"quoted\" \\ kept 50%1 %@ %10") + record("DEBUG", "Show Welcome screen");
    EXPECT_EQ(withoutTime(fileBytes(env.logFilePath())), expected);
}

TEST(QSLogger, EventRecordsTakeTimeAndCiFromTheEventAndLeaveTheJsonUnquoted)
{
    TestEnv env;
    const QString event = QStringLiteral(
        "2026-12-05T13:52:54+01:00 ci=abcdefab-cdef-4bcd-8bcd-abcdefabcdef {\"EVT\":\"Start\",\"T\":0.25}");
    QSLogger::logEvent(event, sampleContext());
    const QByteArray expected =
        "{ \"time\": \"2026-12-05T13:52:54+01:00\",\"ci\": \"abcdefab-cdef-4bcd-8bcd-abcdefabcdef\", "
        "\"trace\": \"EVT\", \"message\": {\"EVT\":\"Start\",\"T\":0.25}, \"lang\": \"en\", \"country\": \"US\", "
        "\"locale\": \"en-US\", \"file\": \"AppDelegate\", \"fn\": \"-[AppDelegate applicationWillTerminate:]\", "
        "\"line\": \"42\" }\r\n";
    EXPECT_EQ(fileBytes(env.logFilePath()), expected);
}

// The login name is masked wherever it stands, and as root so is the name of the person who
// started the installer through sudo or pkexec (read once per process, as ctest runs each case).
TEST(QSLogger, LoginAndInvokingPersonAreMaskedEverywhereInTheLine)
{
    const passwd *nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const ScopedEnv sudo("SUDO_UID", QByteArray::number(nobody->pw_uid));
    const bool asPerson = ::geteuid() == 0 && platform::InvokingPerson::current();
    TestEnv env;
    env.host.login = QStringLiteral("ann");
    QSLogContext context = sampleContext();
    context.file = QStringLiteral("ann.cpp");
    context.function = QStringLiteral("-[Planner annotate]");
    QSLogger::debug(QStringLiteral("Removing /home/ann/.cache from channel of nobody"), context);
    const QString line = env.logLines().value(0);
    EXPECT_FALSE(line.contains(QStringLiteral("ann")));
    EXPECT_TRUE(line.contains(QStringLiteral("/home/****/.cache from ch****el of ") + (asPerson ? "****" : "nobody")));
    EXPECT_TRUE(line.contains(QStringLiteral("\"file\": \"****.cpp\"")));
    EXPECT_TRUE(line.contains(QStringLiteral("-[Pl****er ****otate]")));
}

TEST(QSLogger, AnUncreatableFolderDropsTheRecordWithAConsoleMessage)
{
    TestEnv env;
    // A file where the data folder should be: the directory cannot be made.
    QFile blocker(env.host.home + QStringLiteral("/AppData"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSLogger::debug(QStringLiteral("lost"), sampleContext());
    ASSERT_FALSE(env.consoleLines.isEmpty());
    EXPECT_TRUE(hasLineStartingWith(env.consoleLines, QStringLiteral("MKDIR Error! ")));
    EXPECT_FALSE(QFile::exists(QSLogger::logFilePath()));
}

TEST(QSLogger, ConcurrentWritersNeverInterleaveRecords)
{
    TestEnv env;
    QSLogger::debug(QStringLiteral("warm up"), sampleContext());
    constexpr int kThreads = 4;
    constexpr int kRecords = 200;
    const QString padding(300, QLatin1Char('x'));
    QList<QThread *> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads << QThread::create([t, &padding] {
            for (int i = 0; i < kRecords; ++i)
                QSLogger::debug(QStringLiteral("writer %1 record %2 %3").arg(t).arg(i).arg(padding), sampleContext());
        });
        threads.last()->start();
    }
    for (QThread *thread : threads) {
        thread->wait();
        delete thread;
    }
    const QStringList lines = env.logLines();
    ASSERT_EQ(lines.size(), 1 + kThreads * kRecords);
    for (const QString &line : lines) {
        ASSERT_TRUE(line.startsWith(QStringLiteral("{ \"time\"")));
        ASSERT_TRUE(line.endsWith(QStringLiteral("\"line\": \"42\" }")));
    }
}

// How an event text is taken apart for its run-log record.
TEST(QSLoggerEventText, TimeCiAndMessage)
{
    const std::tuple<QString, QString, QString, QString> cases[] = {  // text, time, ci, message
        {"T1 ci=abc {\"EVT\":\"Start\"}", "T1", "abc", "{\"EVT\":\"Start\"}"},
        {"T ci=a=b {}", "T", "a", "{}"},   // only what lies between the first two "="
        {"T x {}", "T", "", "{}"},         // a second piece without "="
        {"T ci=abc", "T", "abc", ""},      // no message
        {"", "", "", ""},
        {"T  {\"a\":1}", "T", "", "{\"a\":1}"},                 // empty second piece
        {"T ci=X {\"a\":\"T\"}", "T", "X", "{\"a\":\"\"}"},  // every repeat leaves the message
    };
    for (const auto &[text, time, ci, message] : cases) {
        const QSLogger::EventText event = QSLogger::splitEventText(text);
        EXPECT_EQ(std::tuple(event.time, event.ci, event.message), std::tuple(time, ci, message)) << text.toStdString();
    }
}

// Fuzzing finding (tests/fuzz/make-big-inputs.py "spaces"): four million blanks used to become
// four million pieces, a 96 MiB list.
TEST(QSLoggerEventText, MillionsOfBlanks)
{
    const QSLogger::EventText event = QSLogger::splitEventText(QString(4 * 1024 * 1024, QLatin1Char(' ')));
    EXPECT_TRUE(event.time.isEmpty() && event.ci.isEmpty() && event.message.isEmpty());
}

TEST(QSTimeFormat, OffsetsAreZOrSignedHoursAndMinutes)
{
    const QDateTime moment = QDateTime::fromSecsSinceEpoch(1796737974, Qt::UTC);  // 2026-12-08 13:52:54Z
    struct Case {
        const char *zone;
        const char *expected;
    };
    for (const Case &c : {Case{"UTC", "2026-12-08T13:52:54Z"}, Case{"Asia/Kolkata", "2026-12-08T19:22:54+05:30"},
                          Case{"America/St_Johns", "2026-12-08T10:22:54-03:30"}}) {
        const ScopedEnv zone("TZ", c.zone);
        tzset();
        EXPECT_EQ(QSTimeFormat::isoWithOffset(moment), QString::fromLatin1(c.expected)) << c.zone;
    }
    const ScopedEnv zone("TZ", "UTC");
    tzset();
    EXPECT_EQ(QSTimeFormat::uploadStamp(moment), QStringLiteral("2026-12-08T13-52-54"));
}
