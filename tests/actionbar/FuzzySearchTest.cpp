#include "actionbar/FuzzySearch.h"

#include "ActionBarRecords.h"
#include "FakeClock.h"
#include "actionbar/ActionBarDataSource.h"
#include "actionbar/RecentCommandsManager.h"

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

struct WordRow
{
    const char *name;
    const char *word;
    const char *text;
    std::optional<int> score;
    QList<CharacterRange> ranges;
};

class MatchWordTable : public ::testing::TestWithParam<WordRow>
{
};

TEST_P(MatchWordTable, Scores)
{
    const WordRow &row = GetParam();
    const auto match =
        FuzzySearch::matchWord(SearchText(QString::fromUtf8(row.word)), SearchText(QString::fromUtf8(row.text)));
    ASSERT_EQ(match.has_value(), row.score.has_value());
    if (match) {
        EXPECT_EQ(match->score, *row.score);
        EXPECT_EQ(match->ranges, row.ranges);
    }
}

const WordRow WordRows[] = {
    {"WorkedExample", "dsp", "deploy site push", 53, {{0, 1}, {7, 8}, {12, 13}}},
    {"SubstringAtStart", "dep", "deploy site push", 80, {{0, 3}}},
    {"SubstringAfterSpace", "site", "deploy site push", 80, {{7, 11}}},
    {"SubstringAfterHyphen", "1", "web-1 reboot", 50, {{4, 5}}},
    {"SubstringAfterDot", "com", "example.com deploy", 70, {{8, 11}}},
    {"SubstringAfterUnderscore", "b", "a_b", 50, {{2, 3}}},
    {"SubstringElsewhere", "ploy", "deploy site push", 40, {{2, 6}}},
    {"RunsAddUp", "dpl", "deploy", 1 + 20 + 1 + 1 + 5, {{0, 1}, {2, 4}}},
    {"NoMatch", "xyz", "deploy site push", std::nullopt, {}},
    {"OutOfOrder", "ed", "deploy", std::nullopt, {}},
    // Characters are user-perceived: "ü" counts once, decomposed or not, and is not a "u".
    {"GraphemesCountOnce", "bücher", "xn bu\u0308cher.example", 100, {{3, 9}}},
    {"AccentIsNotBase", "bucher", "bücher", std::nullopt, {}},
};

INSTANTIATE_TEST_SUITE_P(Words, MatchWordTable, ::testing::ValuesIn(WordRows), [](const auto &info) {
    return std::string(info.param.name);
});

// A search over hand-made items, with its own recency store on fake time.
class FuzzySearchTest : public ::testing::Test
{
protected:
    static ActionBarItem item(const QString &id, const QString &text, const QString &entity = {})
    {
        ActionBarItem made;
        made.id = id;
        made.title = id;
        made.searchableText = text;
        made.entityName = entity;
        made.prepareForSearch();
        return made;
    }

    QStringList ids(const QString &query, const QList<ActionBarItem> &items) const
    {
        QStringList result;
        for (const FuzzyMatch &match : search.search(query, items)) {
            result << match.item().id + QLatin1Char('=') + QString::number(match.score);
        }
        return result;
    }

    ActionBarRecords records;
    FakeClock clock;
    RecentCommandsManager recents{records.defaults, clock};
    FuzzySearch search{recents};
};

TEST_F(FuzzySearchTest, RanksByWordsEntityAndRecency)
{
    const QList<ActionBarItem> items{
        item("deploy-1", "web-1 deploy site push web-1", "web-1"),
        item("deploy-2", "web-12 deploy site push web-12", "web-12"),
        item("reboot-1", "web-1 reboot restart server vps", "web-1"),
        item("prefs", "preferences settings options configure"),
    };
    // "web" at the start (30 + 50), "deploy" after a space (60 + 40); equal scores keep the input order.
    EXPECT_EQ(ids("web deploy", items), QStringList({"deploy-1=180", "deploy-2=180"}));
    // Capitals rank exactly as lower case; the whole query begins with the entity "web-1" only (+150).
    EXPECT_EQ(ids("WEB-1 DEPLOY", items), QStringList({"deploy-1=350", "deploy-2=200"}));
    // An entity name equal to the whole query gains 500, one that begins with it 300.
    EXPECT_EQ(ids("web-1", items), QStringList({"deploy-1=600", "reboot-1=600", "deploy-2=400"}));
    // Both words must match.
    EXPECT_TRUE(ids("deploy zzz", items).isEmpty());

    // Recency: 25 halves to 12 in a typed query, counts whole in the empty one; entity recency adds in full.
    recents.recordCommand("reboot-1");
    recents.recordEntity("web-12");
    clock.advance(3h);
    EXPECT_EQ(recents.commandRecencyScore("reboot-1"), 25);
    EXPECT_EQ(ids("", items), QStringList({"reboot-1=25", "deploy-1=0", "deploy-2=0", "prefs=0"}));
    EXPECT_EQ(ids("reboot", items), QStringList({"reboot-1=112"}));
    // Spaces only: every item, by half its command recency plus its entity recency; ties keep their order.
    EXPECT_EQ(ids("   ", items), QStringList({"deploy-2=30", "reboot-1=12", "deploy-1=0", "prefs=0"}));
}

TEST_F(FuzzySearchTest, PreparedAndUnpreparedItemsScoreAlike)
{
    ActionBarItem raw;
    raw.id = QStringLiteral("raw");
    raw.searchableText = QStringLiteral("Deploy Site Push");
    ActionBarItem prepared = raw;
    prepared.prepareForSearch();
    EXPECT_EQ(ids("dsp", {raw}), ids("dsp", {prepared}));
    EXPECT_EQ(ids("dsp", {raw}), QStringList({"raw=53"}));
    // A match stays readable after the searched list is gone.
    const QList<FuzzyMatch> kept = search.search(QStringLiteral("dsp"), QList<ActionBarItem>{prepared});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept.first().item().id, QStringLiteral("raw"));
}

TEST(MatchingEntities, ScoresSitesAboveTheirServerAndDropsWeakMatches)
{
    ActionBarRecords records;
    records.setAccounts({account(QStringLiteral("A"))});
    records.state.serverList = {server(1, QStringLiteral("web")), server(1, QStringLiteral("web copy"))};
    records.state.siteList = {site(10, QStringLiteral("example.com"), 1)};
    const ActionBarDataSource::Sources sources{&records.state, &records.defaults, &records.webhooks};
    const auto scores = [&](const QString &query) {
        QStringList result;
        for (const MatchedEntity &entity : ActionBarDataSource::matchingEntities(query, sources)) {
            result << entity.name + QLatin1Char('=') + QString::number(entity.score);
        }
        return result;
    };
    EXPECT_EQ(scores("exa"), QStringList({"example.com=125"}));
    EXPECT_EQ(scores(" E\t"), QStringList({"example.com=115", "web=53"}));
    EXPECT_EQ(scores("x"), QStringList({"example.com=63"}));
    EXPECT_EQ(scores("WEB"), QStringList({"web=200"}));
    // An in-order match of a few characters that is no substring stays under 30.
    EXPECT_EQ(ActionBarDataSource::entityMatchScore("eae", "example.com"), 9);
    EXPECT_TRUE(scores("eae").isEmpty());
    EXPECT_FALSE(ActionBarDataSource::entityMatchScore("ez", "example.com"));
    EXPECT_TRUE(scores("").isEmpty());
}

} // namespace
