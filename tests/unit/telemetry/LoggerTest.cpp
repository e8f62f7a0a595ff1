#include "ScopedEnv.h"
#include "TestEnv.h"

#include "platform/InvokingPerson.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSPortalProvider.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

namespace {

QSLogContext sampleContext()
{
    QSLogContext context;
    context.language = "en", context.country = "US", context.locale = "en-US", context.file = "AppDelegate";
    context.function = "-[AppDelegate applicationWillTerminate:]", context.line = "42";
    return context;
}

// The run log's bytes, with the time field replaced so the rest can be compared byte for byte.
QByteArray withoutTime(const QString &path)
{
    static const QRegularExpression time(QStringLiteral("\"time\": \"[^\"]*\""));
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).replace(time, "\"time\": \"T\"").toUtf8() : QByteArray();
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
    EXPECT_EQ(withoutTime(env.logFilePath()), expected);
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
