#include "TestEnv.h"

#include "platform/NotificationCenter.h"
#include "telemetry/QSAnalyticSender.h"
#include "telemetry/QSPortalProvider.h"

#include <QJsonDocument>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>

namespace {

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// The JSON object of an event line "<time> ci=<ci> <json>", after checking the line's shape.
QJsonObject eventObject(const QString &line)
{
    static const QRegularExpression shape(QStringLiteral(
        "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(Z|[+-]\\d\\d:\\d\\d) ci=([0-9a-f-]{36}) (\\{.*\\})$"));
    const QRegularExpressionMatch match = shape.match(line);
    EXPECT_TRUE(match.hasMatch()) << line.toStdString();
    EXPECT_EQ(match.captured(2), QSPortalProvider::getCi());
    const QJsonObject object = QJsonDocument::fromJson(match.captured(3).toUtf8()).object();
    EXPECT_EQ(match.captured(3), compact(object));  // no line breaks, no blanks between tokens
    return object;
}

}  // namespace

TEST(QSAnalyticSender, EventHoldsDefaultsThenCallerFieldsThenTheName)
{
    TestEnv env;
    const QJsonObject defaults{{"APP", "CORVALA"}, {"Ver", "1.2.3"}, {"OS", "Linux"},
                               {"OSVer", "6.1.0"}, {"CC", "US"},     {"L", "en-US"}};
    const struct {
        QJsonObject data;
        QJsonObject changes;  // over the defaults, with "EVT": "Install"
    } rows[] = {
        {{{"RSLT", "PASS"}}, {{"RSLT", "PASS"}}},
        {{{"EVT", "Other"}, {"OS", "Plan 9"}}, {{"OS", "Plan 9"}}},  // the name is never replaced
    };
    for (const auto &row : rows) {
        QJsonObject expected = defaults;
        for (auto it = row.changes.begin(); it != row.changes.end(); ++it)
            expected.insert(it.key(), it.value());
        expected.insert("EVT", "Install");
        EXPECT_EQ(eventObject(QSAnalyticSender::getMessage(QStringLiteral("Install"), row.data)), expected);
    }
}

TEST(QSAnalyticSender, SinglePrecisionNumbersAreWrittenInTheirShortestForm)
{
    const std::pair<float, const char *> rows[] = {{0.25f, "0.25"}, {1.2345679f, "1.2345679"}, {0.1f, "0.1"},
                                                   {3.0f, "3"},     {-12.7f, "-12.7"},         {NAN, "null"}};
    for (const auto &[value, text] : rows)
        EXPECT_EQ(compact({{"T", QSAnalyticSender::singlePrecision(value)}}), QStringLiteral("{\"T\":%1}").arg(text));
}

TEST(QSAnalyticSender, SendEventQueuesTheLineAndWritesItsEventRecord)
{
    TestEnv env;
    QStringList queued;
    auto &center = platform::NotificationCenter::defaultCenter();
    const auto token = center.addObserver(QStringLiteral("LOG_ANALYTICS"),
                                           [&](const platform::Notification &note) { queued << note.object.toString(); });
    QSAnalyticSender::sendEvent(QStringLiteral("Download"), {{"RSN", "a \"quoted\" reason"}});
    center.removeObserver(token);

    ASSERT_EQ(queued.size(), 1);
    EXPECT_EQ(eventObject(queued.first()).value("EVT"), QJsonValue("Download"));
    const QStringList pieces = queued.first().split(QLatin1Char(' '));
    const QString json = queued.first().section(QLatin1Char(' '), 2);
    const QStringList records = env.logLines();
    ASSERT_EQ(records.size(), 1);
    EXPECT_TRUE(records.first().startsWith(QStringLiteral("{ \"time\": \"%1\",\"ci\": \"%2\", \"trace\": \"EVT\", \"message\": %3, ")
                                               .arg(pieces[0], pieces[1].mid(3), json)))
        << records.first().toStdString();
    EXPECT_TRUE(records.first().contains(QStringLiteral("\"fn\": \"+[QSAnalyticSender sendEvent:withData:]\"")));
}
