#include "crashreporter/support/KXJSONSerialization.h"
#include "crashreporter/support/KXStringTruncation.h"
#include "crashreporter/support/KX_RFC3339DateTool.h"

#include <QJsonArray>
#include <QJsonObject>

#include <limits>

using namespace kestrix;

namespace {

TEST(KXStringTruncationTest, cutsAtACharacterBoundaryAndCounts)
{
    KXTruncateContext context{10};
    EXPECT_EQ(kxTruncateString(context, QStringLiteral("abcdefghijkl")),
              QStringLiteral("abcdefghij\n***2 CHARS TRUNCATED***"));
    EXPECT_EQ(kxTruncateString(context, QStringLiteral("short")), QStringLiteral("short"));
    // "e" and a combining accent are one character: the cut comes before both.
    const QString accented = QStringLiteral("abcdefghie\u0301xyz");
    EXPECT_EQ(kxTruncateString(context, accented), QStringLiteral("abcdefghi\n***5 CHARS TRUNCATED***"));
    EXPECT_EQ(context.stringsTruncated, 2);
    EXPECT_EQ(context.lengthTruncated, 7);

    KXTruncateContext nested{3};
    const QJsonValue value =
        kxTruncateStrings(nested, QJsonObject({{QStringLiteral("a"), QJsonArray({QStringLiteral("abcd"), 12345})}}));
    EXPECT_EQ(value[QStringLiteral("a")][0].toString(), QStringLiteral("abc\n***1 CHARS TRUNCATED***"));
    EXPECT_EQ(value[QStringLiteral("a")][1].toInt(), 12345);
}

TEST(KXSupportHelpersTest, sanitizesAndMergesJSON)
{
    const QJsonObject dirty({{QStringLiteral("keep"), 1},
                             {QStringLiteral("nan"), std::numeric_limits<double>::quiet_NaN()},
                             {QStringLiteral("list"), QJsonArray({1, std::numeric_limits<double>::infinity(), 2})}});
    const QJsonObject clean = kxSanitizeJSON(dirty).toObject();
    EXPECT_EQ(clean, QJsonObject({{QStringLiteral("keep"), 1}, {QStringLiteral("list"), QJsonArray({1, 2})}}));

    const QJsonObject first({{QStringLiteral("a"), 1}, {QStringLiteral("n"), QJsonObject({{QStringLiteral("x"), 1}})}});
    const QJsonObject second(
        {{QStringLiteral("a"), 2},
         {QStringLiteral("b"), 3},
         {QStringLiteral("n"), QJsonObject({{QStringLiteral("x"), 2}, {QStringLiteral("y"), 2}})}});
    EXPECT_EQ(kxMergeObjects(first, second),
              QJsonObject({{QStringLiteral("a"), 1},
                           {QStringLiteral("b"), 3},
                           {QStringLiteral("n"), QJsonObject({{QStringLiteral("x"), 1}, {QStringLiteral("y"), 2}})}}));
}

TEST(KX_RFC3339DateToolTest, writesUTCWithMillisecondsAndReadsThreeForms)
{
    EXPECT_EQ(KX_RFC3339DateTool::stringFromUNIXTimestamp(1700000000.123), QStringLiteral("2023-11-14T22:13:20.123Z"));
    const QDateTime stored = KX_RFC3339DateTool::dateFromString(QStringLiteral("2023-11-14T22:13:20.123Z"));
    EXPECT_EQ(stored.toMSecsSinceEpoch(), 1700000000123);
    EXPECT_EQ(KX_RFC3339DateTool::dateFromString(QStringLiteral("2023-11-14T22:13:20Z")).toSecsSinceEpoch(),
              1700000000);
    EXPECT_EQ(KX_RFC3339DateTool::dateFromString(QStringLiteral("2023-11-15T00:13:20+0200")).toSecsSinceEpoch(),
              1700000000);
    EXPECT_FALSE(KX_RFC3339DateTool::dateFromString(QStringLiteral("yesterday")).isValid());
    EXPECT_TRUE(KX_RFC3339DateTool::isLikelyDateString(QStringLiteral("2023-11-14T22:13:20")));
    EXPECT_FALSE(KX_RFC3339DateTool::isLikelyDateString(QStringLiteral("2023-11-14 22:13:20")));
}

} // namespace
