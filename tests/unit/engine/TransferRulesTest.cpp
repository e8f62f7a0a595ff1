// The pause between download attempts; resuming a cut body is proven against nginx in
// tests/integration/engine.
#include "engine/QSRetryBackoff.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Duration = QSRetryBackoff::Duration;

TEST(RetryBackoff, CeilingsDoubleUpToTheCapAndPausesStayUnderThem)
{
    double share = 0.0;
    const QSRetryBackoff backoff({1000ms, 30000ms}, [&share] { return share; });
    const Duration ceilings[] = {1s, 2s, 4s, 8s, 16s, 30s, 30s};
    for (quint64 attempt = 1; attempt <= 7; ++attempt)
        EXPECT_EQ(backoff.ceilingAfter(attempt), ceilings[attempt - 1]) << attempt;
    EXPECT_EQ(backoff.ceilingAfter(1'000'000'000'000ULL), 30s);  // a huge limit cannot overflow

    // Full jitter: anywhere from nothing to the ceiling, never beyond.
    for (const double s : {0.0, 0.25, 0.999999}) {
        share = s;
        for (quint64 attempt = 1; attempt <= 7; ++attempt) {
            const Duration pause = backoff.delayAfter(attempt, std::nullopt);
            EXPECT_GE(pause, 0ms);
            EXPECT_LE(pause, ceilings[attempt - 1]);
            EXPECT_EQ(pause, Duration(qint64(double(ceilings[attempt - 1].count()) * s)));
        }
    }
}

TEST(RetryBackoff, RetryAfterIsHonouredUpToTheCap)
{
    const QSRetryBackoff backoff({1000ms, 30000ms}, [] { return 0.5; });
    EXPECT_EQ(backoff.delayAfter(1, 2000ms), 2s);
    EXPECT_EQ(backoff.delayAfter(5, 0ms), 0s);
    EXPECT_EQ(backoff.delayAfter(1, 3600s), 30s);

    const QDateTime now = QDateTime::fromString(QStringLiteral("Sun, 06 Dec 2026 12:00:00 +0000"), Qt::RFC2822Date);
    ASSERT_TRUE(now.isValid());
    const std::pair<QByteArray, std::optional<Duration>> rows[] = {
        {"2", 2s}, {" 120 ", 120s}, {"0", 0s}, {"-5", std::nullopt}, {"soon", std::nullopt}, {"", std::nullopt},
        {"99999999999999999999", std::nullopt},  // not a number we can read
        {"Sun, 06 Dec 2026 12:00:07 GMT", 7s},
        {"Sun, 06 Dec 2026 11:00:00 GMT", 0s},  // already past
    };
    for (const auto &[field, expected] : rows)
        EXPECT_EQ(QSRetryBackoff::parseRetryAfter(field, now), expected) << field.constData();
}
