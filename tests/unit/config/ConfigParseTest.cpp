#include "TestEnv.h"

#include "config/QSConfig.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

#include <limits>

namespace {

QJsonObject parsed(const QByteArray &json) { return QJsonDocument::fromJson(json).object(); }

const QByteArray kEntry = R"({"appName":"Corvala","latestBuildMacUrl":"https://d.example/c.zip","latestBuildMac":"1.4"})";

// A document with one product entry whose fields are replaced by those given.
QByteArray withEntry(const QByteArray &fields)
{
    QJsonObject entry = parsed(kEntry);
    const QJsonObject changes = parsed("{" + fields + "}");
    for (auto it = changes.begin(); it != changes.end(); ++it)
        entry.insert(it.key(), it.value());
    return QJsonDocument(QJsonObject{{"config", QJsonArray{entry}}}).toJson();
}

}  // namespace

TEST(QSConfig, RetryLimitIsAWholeNumberOfAtLeastOne)
{
    constexpr quint64 kMax = quint64(std::numeric_limits<qint64>::max());
    const std::pair<QJsonValue, quint64> rows[] = {{QJsonValue::Undefined, 1}, {2.9, 2}, {"7 tries", 7}, {-4, 1}, {true, 1},
                                                   {"99999999999999999999999", kMax}, {0, 1}, {"abc", 1}, {1e30, kMax}};
    for (const auto &[value, limit] : rows)
        EXPECT_EQ(QSConfig::retryLimitFrom(value), limit) << QJsonDocument(QJsonArray{value}).toJson().toStdString();
}

TEST(QSConfig, DocumentsWithoutAUsableEntryAreNotValid)
{
    TestEnv env;
    const std::pair<QByteArray, const char *> rows[] = {
        {R"({"config":{"appName":"Corvala"}})", "\"config\" is not an array"},
        {R"({"config":[1,)" + kEntry + "]}", "not an array of objects"},
        {R"({"config":[{"appName":"corvala","latestBuildMacUrl":"https://d/x.zip","latestBuildMac":"1"}]})", "no entry"},
        {withEntry(R"("latestBuildMacUrl":42)"), "no download URL"},  // a value of the wrong type counts as missing
        {withEntry(R"("latestBuildMacUrl":"file://localhost/etc/passwd")"), "not an http or https address"},
        {withEntry(R"("latestBuildMacUrl":"https://exa mple/x")"), "not an http or https address"},
        {withEntry(R"("latestBuildMac":"")"), "no build number"},
        {R"({"config":[)" + kEntry + R"(,{"appName":"Corvala"}]})", "no download URL"},  // the last entry wins
    };
    for (const auto &[json, problem] : rows) {
        const QSConfig config(parsed(json));
        EXPECT_FALSE(config.isValid()) << json.constData();
        EXPECT_TRUE(config.problem.contains(QLatin1String(problem))) << json.constData() << " -> " << config.problem.toStdString();
    }
}
