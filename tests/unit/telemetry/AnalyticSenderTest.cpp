#include "TestEnv.h"

#include "platform/NotificationCenter.h"
#include "telemetry/QSAnalyticSender.h"
#include "telemetry/QSPortalProvider.h"

#include <QJsonDocument>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>

namespace {

QString compact(const QJsonObject &object) { return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)); }

}  // namespace

// An event line is "<time> ci=<ci> <json>", the JSON without a blank or line break: the defaults,
// then the caller's fields, then the name, which no field replaces. Sending queues the line and
// writes it as the JSON of an "EVT" record.
TEST(QSAnalyticSender, EventLinesHoldDefaultsThenCallerFieldsThenTheNameAndAreRecorded)
{
    TestEnv env;
    QStringList queued;
    auto &center = platform::NotificationCenter::defaultCenter();
    const auto token = center.addObserver(QStringLiteral("LOG_ANALYTICS"),
                                           [&](const platform::Notification &note) { queued << note.object.toString(); });
    QSAnalyticSender::sendEvent(QStringLiteral("Install"), {{"EVT", "Other"}, {"OS", "Plan 9"}, {"RSN", "a \"quoted\" reason"}});
    center.removeObserver(token);
    ASSERT_EQ(queued.size(), 1);

    static const QRegularExpression shape(QStringLiteral(
        "^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(Z|[+-]\\d\\d:\\d\\d)) ci=([0-9a-f-]{36}) (\\{.*\\})$"));
    const QRegularExpressionMatch match = shape.match(queued.first());
    ASSERT_TRUE(match.hasMatch()) << queued.first().toStdString();
    EXPECT_EQ(match.captured(3), QSPortalProvider::getCi());
    const QJsonObject event = QJsonDocument::fromJson(match.captured(4).toUtf8()).object();
    EXPECT_EQ(match.captured(4), compact(event));
    EXPECT_EQ(event, QJsonObject({{"APP", "CORVALA"}, {"Ver", "1.2.3"}, {"OS", "Plan 9"}, {"OSVer", "6.1.0"}, {"CC", "US"},
                                  {"L", "en-US"}, {"RSN", "a \"quoted\" reason"}, {"EVT", "Install"}}));
    const QStringList records = env.logLines();
    ASSERT_EQ(records.size(), 1);
    EXPECT_TRUE(records.first().startsWith(QStringLiteral("{ \"time\": \"%1\",\"ci\": \"%2\", \"trace\": \"EVT\", \"message\": %3, ")
                                               .arg(match.captured(1), match.captured(3), match.captured(4))))
        << records.first().toStdString();
    EXPECT_TRUE(records.first().contains(QStringLiteral("\"fn\": \"+[QSAnalyticSender sendEvent:withData:]\"")));
}

TEST(QSAnalyticSender, SinglePrecisionNumbersAreWrittenInTheirShortestForm)
{
    const std::pair<float, const char *> rows[] = {{0.25f, "0.25"}, {1.2345679f, "1.2345679"}, {0.1f, "0.1"},
                                                   {3.0f, "3"},     {-12.7f, "-12.7"},         {NAN, "null"}};
    for (const auto &[value, text] : rows)
        EXPECT_EQ(compact({{"T", QSAnalyticSender::singlePrecision(value)}}), QStringLiteral("{\"T\":%1}").arg(text));
}
