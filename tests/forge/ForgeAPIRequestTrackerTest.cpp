#include "forge/ForgeAPIRequestTracker.h"

#include "forge/ForgeNumbers.h"

#include <gtest/gtest.h>

using namespace plimsy;

namespace {

const QString Key = QStringLiteral("account-1");

class ForgeAPIRequestTrackerTest : public ::testing::Test
{
protected:
    ForgeAPIRequestTracker tracker;
    QDateTime now = QDateTime(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC);

    static HttpResponse response(std::initializer_list<std::pair<const char *, QByteArray>> headers)
    {
        HttpResponse answer;
        answer.statusCode = 200;
        for (const auto &[name, value] : headers) {
            answer.headers.append({QByteArray(name), value});
        }
        return answer;
    }

    QByteArray epoch(int secondsFromNow) const { return QByteArray::number(now.toSecsSinceEpoch() + secondsFromNow); }
    void report(qint64 remaining, int resetIn)
    {
        tracker.recordResponse(
            response({{"X-RateLimit-Remaining", QByteArray::number(remaining)}, {"X-RateLimit-Reset", epoch(resetIn)}}),
            Key,
            now);
    }
};

TEST_F(ForgeAPIRequestTrackerTest, UnknownKeysAreNeverPaced)
{
    EXPECT_EQ(tracker.delayBeforeRequest(Key, now), 0);
    EXPECT_FALSE(tracker.quota(Key).has_value());
    tracker.recordRequest(Key, now);
    EXPECT_EQ(tracker.delayBeforeRequest(Key, now), 0);
    EXPECT_FALSE(tracker.quota(Key)->remaining.has_value());
}

TEST_F(ForgeAPIRequestTrackerTest, CountsDownToTheThresholdThenWaitsForTheReset)
{
    report(59, 30);
    for (int i = 0; i < 56; ++i) {
        ASSERT_EQ(tracker.delayBeforeRequest(Key, now), 0) << "call " << i;
    }
    EXPECT_EQ(tracker.quota(Key)->remaining, 3);
    EXPECT_DOUBLE_EQ(tracker.delayBeforeRequest(Key, now), 30);
    EXPECT_EQ(tracker.quota(Key)->remaining, 3);

    // Once the reset has passed the quota is unknown again and requests go at once.
    EXPECT_EQ(tracker.delayBeforeRequest(Key, now.addSecs(31)), 0);
    EXPECT_FALSE(tracker.quota(Key)->remaining.has_value());
    EXPECT_FALSE(tracker.quota(Key)->resetAt.has_value());
}

TEST_F(ForgeAPIRequestTrackerTest, WithoutAResetTheOldestRequestOfTheWindowDecides)
{
    tracker.recordRequest(Key, now.addSecs(-20));
    tracker.recordResponse(response({{"x-ratelimit-remaining", "1"}}), Key, now);
    EXPECT_DOUBLE_EQ(tracker.delayBeforeRequest(Key, now), 40);

    ForgeAPIRequestTracker fresh;
    fresh.recordResponse(response({{"x-ratelimit-remaining", "1"}}), Key, now);
    EXPECT_EQ(fresh.delayBeforeRequest(Key, now), 0);
    EXPECT_FALSE(fresh.quota(Key)->remaining.has_value());
}

TEST_F(ForgeAPIRequestTrackerTest, OnePauseNeverExceedsAMinuteAndImplausibleResetsAreIgnored)
{
    report(2, 50);
    EXPECT_DOUBLE_EQ(tracker.delayBeforeRequest(Key, now), 50);

    ForgeAPIRequestTracker farAhead;
    tracker.recordRequest(Key, now); // the window of this one still bounds the pause
    farAhead.recordRequest(Key, now.addSecs(-10));
    farAhead.recordResponse(
        response({{"x-ratelimit-remaining", "0"}, {"x-ratelimit-reset", epoch(10 * 365 * 24 * 3600)}}), Key, now);
    EXPECT_FALSE(farAhead.quota(Key)->resetAt.has_value());
    EXPECT_DOUBLE_EQ(farAhead.delayBeforeRequest(Key, now), 50);

    ForgeAPIRequestTracker capped;
    capped.recordResponse(response({{"x-ratelimit-remaining", "0"}, {"x-ratelimit-reset", epoch(200)}}), Key, now);
    EXPECT_DOUBLE_EQ(capped.delayBeforeRequest(Key, now), ForgeAPIRequestTracker::maxDelay);

    ForgeAPIRequestTracker hugeRetry;
    hugeRetry.recordResponse(response({{"retry-after", "1e12"}}), Key, now);
    EXPECT_FALSE(hugeRetry.quota(Key)->resetAt.has_value());
}

TEST_F(ForgeAPIRequestTrackerTest, ARunningWindowIsKeptUntilANewResetArrives)
{
    report(10, 30);
    tracker.recordResponse(response({{"x-ratelimit-remaining", "4"}}), Key, now);
    EXPECT_EQ(tracker.quota(Key)->remaining, 10) << "a reset ahead and no new one: untouched";

    tracker.recordResponse(response({{"retry-after", "30"}}), Key, now);
    EXPECT_EQ(tracker.quota(Key)->remaining, 10);
    EXPECT_EQ(tracker.quota(Key)->resetAt, now.addSecs(30));

    const QDateTime later = now.addSecs(40);
    tracker.recordResponse(response({}), Key, later);
    EXPECT_EQ(tracker.quota(Key)->remaining, 10);
    EXPECT_EQ(tracker.quota(Key)->resetAt, now.addSecs(30));
    tracker.recordResponse(response({{"x-ratelimit-remaining", "5"}}), Key, later);
    EXPECT_EQ(tracker.quota(Key)->remaining, 5);
    EXPECT_FALSE(tracker.quota(Key)->resetAt.has_value());
}

TEST_F(ForgeAPIRequestTrackerTest, RetryDelayAfter429)
{
    EXPECT_EQ(tracker.retryDelay(QByteArray("0.5"), Key, now), 1);
    EXPECT_EQ(tracker.retryDelay(QByteArray("0"), Key, now), 1);
    EXPECT_EQ(tracker.retryDelay(QByteArray("5"), Key, now), 5);
    EXPECT_EQ(tracker.retryDelay(QByteArray("120"), Key, now), 60);
    EXPECT_EQ(tracker.retryDelay(QByteArray("Wed, 21 Oct 2026 07:28:00 GMT"), Key, now), 15);
    EXPECT_EQ(tracker.retryDelay(std::nullopt, Key, now), 15);
    report(0, 20);
    EXPECT_EQ(tracker.retryDelay(QByteArray("Wed, 21 Oct 2026 07:28:00 GMT"), Key, now), 20);
    EXPECT_EQ(tracker.retryDelay(QByteArray("nan"), Key, now), 20);
}

TEST_F(ForgeAPIRequestTrackerTest, RefreshCountersAndSummary)
{
    EXPECT_EQ(tracker.refreshSummary(), "Refresh done: 0 requests, lowest remaining unknown, 0 throttled, 0 retried");
    for (int i = 0; i < 14; ++i) {
        tracker.recordRequest(Key, now);
    }
    report(52, 30);
    // Not stored (a window is running and no new reset came), but still the lowest seen.
    tracker.recordResponse(response({{"x-ratelimit-remaining", "48"}}), Key, now);
    tracker.recordResponse(response({{"x-ratelimit-remaining", "50"}}), QStringLiteral("other"), now);
    tracker.noteRefreshRetry(QStringLiteral("connection"));
    tracker.noteRefreshRetry(QStringLiteral("429"));
    tracker.noteRefreshRetry(QStringLiteral("429"));
    EXPECT_EQ(tracker.refreshSummary(), "Refresh done: 14 requests, lowest remaining 48/60, 2 throttled, 1 retried");

    tracker.resetRefreshCounters();
    EXPECT_EQ(tracker.refreshSummary(), "Refresh done: 0 requests, lowest remaining unknown, 0 throttled, 0 retried");
    EXPECT_EQ(tracker.quota(Key)->remaining, 52) << "quotas survive a reset of the counters";
}

TEST_F(ForgeAPIRequestTrackerTest, RequestTimesAreTrimmedToTheWindow)
{
    tracker.recordRequest(Key, now.addSecs(-90));
    tracker.recordRequest(Key, now.addSecs(-60));
    tracker.recordRequest(Key, now);
    EXPECT_EQ(tracker.quota(Key)->requestTimestamps, (QList<QDateTime>{now.addSecs(-60), now}));
}

struct NumberRow
{
    const char *name;
    const char *text;
    std::optional<qint64> integer;
    std::optional<double> seconds;
};

void PrintTo(const NumberRow &row, std::ostream *out)
{
    *out << row.name;
}

class ForgeNumbersTest : public ::testing::TestWithParam<NumberRow>
{
};

TEST_P(ForgeNumbersTest, ParsesStrictly)
{
    const NumberRow &row = GetParam();
    EXPECT_EQ(parseForgeInteger(QByteArrayView(row.text)), row.integer);
    EXPECT_EQ(parseForgeInteger(QString::fromUtf8(row.text)), row.integer);
    EXPECT_EQ(parseForgeSeconds(QByteArrayView(row.text)), row.seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Values,
    ForgeNumbersTest,
    ::testing::Values(NumberRow{"plain", "42", 42, 42.0},
                      NumberRow{"plusSign", "+7", 7, 7.0},
                      NumberRow{"minusSign", "-1", -1, -1.0},
                      NumberRow{"empty", "", std::nullopt, std::nullopt},
                      NumberRow{"leadingSpace", " 7", std::nullopt, std::nullopt},
                      NumberRow{"trailingSpace", "7 ", std::nullopt, std::nullopt},
                      NumberRow{"fraction", "7.0", std::nullopt, 7.0},
                      NumberRow{"letters", "12a", std::nullopt, std::nullopt},
                      NumberRow{"twoSigns", "+-3", std::nullopt, std::nullopt},
                      NumberRow{"largest", "9223372036854775807", INT64_MAX, 9223372036854775807.0},
                      NumberRow{"smallest", "-9223372036854775808", INT64_MIN, -9223372036854775808.0},
                      NumberRow{"overflow", "9223372036854775808", std::nullopt, 9223372036854775808.0},
                      NumberRow{"exponent", "1e3", std::nullopt, 1000.0},
                      NumberRow{"infinite", "inf", std::nullopt, std::nullopt},
                      NumberRow{"notANumber", "nan", std::nullopt, std::nullopt},
                      NumberRow{"nonAscii", "\xd9\xa3", std::nullopt, std::nullopt}),
    [](const ::testing::TestParamInfo<NumberRow> &info) { return std::string(info.param.name); });

} // namespace
