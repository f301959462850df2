#include "Await.h"
#include "DemoData.h"
#include "FakeForge.h"
#include "QtPrinters.h"
#include "core/JSONAPI.h"
#include "core/Organization.h"
#include "core/Server.h"
#include "core/Site.h"
#include "platform/HttpSession.h"

#include <QJsonDocument>
#include <QNetworkRequest>

#include <gtest/gtest.h>

using namespace plimsy;
using namespace plimsy::test;

namespace {

template <typename A> struct Outcome
{
    std::optional<JSONAPIResponse<A>> response;
    QString error;
};

template <typename A> std::string shown(const Outcome<A> &outcome)
{
    return outcome.response ? QJsonDocument(outcome.response->toJson()).toJson(QJsonDocument::Compact).toStdString()
                            : outcome.error.toStdString();
}

template <typename A, typename F> Outcome<A> outcomeOf(F &&decode)
{
    try {
        return {decode(), {}};
    } catch (const DecodingError &error) {
        return {std::nullopt, error.userMessage()};
    }
}

// The listing read from the bytes is exactly the one the parsed document decodes to, and the public
// decode gives that listing or the parsed document's error; `direct` tells whether the reader itself
// took the body rather than leaving it to the parser.
template <typename A> void expectAsParsed(const QByteArray &body, bool direct)
{
    const auto parsed = outcomeOf<A>([&] { return JSONAPIResponse<A>::fromJson(json::parseObject(body)); });
    const auto decoded = outcomeOf<A>([&] { return JSONAPIResponse<A>::decode(body); });
    JSONAPIResponse<A> read;
    const bool wasRead = json::readListing(QByteArrayView(body), read);
    EXPECT_EQ(wasRead, direct) << "parsed: " << shown(parsed);
    if (wasRead) {
        ASSERT_TRUE(parsed.response) << "read a listing the parser refuses: " << shown(parsed);
        EXPECT_TRUE(read == *parsed.response) << "read " << shown(Outcome<A>{read, {}}) << "\nparsed " << shown(parsed);
    }
    EXPECT_TRUE(decoded.response == parsed.response) << shown(decoded) << "\n" << shown(parsed);
    EXPECT_EQ(decoded.error, parsed.error);
}

enum class Listing
{
    Sites,
    Servers,
    Organizations,
};

struct ReaderRow
{
    const char *name;
    Listing listing;
    QByteArray body;
    bool direct; // read by the reader itself, not left to the parser
};

void PrintTo(const ReaderRow &row, std::ostream *out)
{
    *out << row.name;
}

QByteArray sites(const QByteArray &resources, const QByteArray &rest = {})
{
    return R"({"data":[)" + resources + "]" + rest + "}";
}

QByteArray resource(const QByteArray &attributes, const QByteArray &rest = {})
{
    return R"({"id":"7","type":"sites","attributes":)" + attributes + rest + "}";
}

QByteArray site(const QByteArray &attributes, const QByteArray &rest = {})
{
    return sites(resource(attributes, rest));
}

QByteArray server(const QByteArray &attributes)
{
    return R"({"data":[{"id":"1","type":"servers","attributes":)" + attributes + "}]}";
}

QByteArray nested(int depth)
{
    return site(R"({"name":"n","extra":)" + QByteArray(depth, '[') + QByteArray(depth, ']') + "}");
}

const QByteArray EverySiteMember =
    R"({"name":"a.example","status":"installed","url":"https://a.example","user":"forge","https":true,)"
    R"("web_directory":"/public","root_directory":"/","aliases":["www.a.example","b.example"],)"
    R"("php_version":"php84","deployment_status":null,"quick_deploy":false,"isolated":true,"database":"db",)"
    R"("maintenance_mode":{"enabled":false,"status":null,"since":1},"zero_downtime_deployments":true,)"
    R"("deployment_script":"cd /home\ngit pull","wildcards":false,"app_type":"laravel","uses_envoyer":false,)"
    R"("deployment_url":"https://forge.example/deploy?token=x","healthcheck_url":"https://a.example/up",)"
    R"("repository":{"provider":"github","url":"git@github.com:o/a.git","branch":"main","status":"installed"},)"
    R"("created_at":"2025-02-01T00:00:00Z"})";

const ReaderRow Rows[] = {
    {"EverySiteMember",
     Listing::Sites,
     sites(resource(EverySiteMember,
                    R"(,"relationships":{"server":{"data":{"id":"1001","type":"servers"}},)"
                    R"("tags":{"data":[{"id":"t","type":"tags"}]}})"),
           R"(,"links":{"first":"f","last":"l","prev":null,"next":"https://x/api/n?page=2"})"),
     true},
    {"EscapesAndUnicode",
     Listing::Sites,
     site(R"({"name":"caf\u00e9 \"q\" \\ \/ \b\f\n\r\t \u0000 \u20AC","url":"https://münchen.example/東京/😀"})"),
     true},
    {"NullsReadAsAbsent",
     Listing::Sites,
     sites(R"({"id":"7","type":"sites","attributes":{"name":null,"aliases":null,"maintenance_mode":null,)"
           R"("repository":null,"https":null},"relationships":null})",
           R"(,"links":null)"),
     true},
    {"MissingMembers", Listing::Sites, site("{}"), true},
    {"EmptyListing", Listing::Sites, R"({"data":[]})", true},
    {"UnknownMembersOfEveryKind",
     Listing::Sites,
     sites(R"({"id":"7","type":"sites","meta":{"a":[1,-2.5,0,-0,true,false,null,{"b":"c"},[]]},"attributes":{}})",
           R"(,"included":[{"id":"1","type":"servers","attributes":{"id":1}}],"meta":{})"),
     true},
    {"WhiteSpaceAround", Listing::Sites, " \n\t" + site(R"({ "name" : "a" , "https" : true })") + " \r\n", true},
    {"LenientRelationships",
     Listing::Sites,
     site("{}",
          R"(,"relationships":{"server":{"data":[{"id":"1","type":"servers"},{"id":2,"type":"servers"}]},)"
          R"("tags":{"data":{"id":"t"}},"owner":{"data":null},"team":{"links":{}},"x":{"data":[1]},)"
          R"("y":{"data":[{"id":"1","type":"a","z":[]}]},"w":{"data":{"id":null,"type":"a"}}})"),
     true},
    {"LinkOfAnotherTypeDropsTheLinks", Listing::Sites, sites("", R"(,"links":{"first":"a","next":5})"), true},
    {"LinksNotAnObject", Listing::Sites, sites("", R"(,"links":"x")"), true},
    {"ShallowNesting", Listing::Sites, nested(40), true},
    {"DeepNestingIsLeftToTheParser", Listing::Sites, nested(80), false},
    {"DuplicateMemberIsLeftToTheParser", Listing::Sites, site(R"({"name":"a","name":"b"})"), false},
    {"ExponentIsLeftToTheParser", Listing::Sites, site(R"({"extra":1e3})"), false},
    {"LongNumberIsLeftToTheParser", Listing::Sites, site(R"({"extra":1234567890123456})"), false},
    {"SurrogateEscapeIsLeftToTheParser", Listing::Sites, site(R"({"name":"\uD83D\uDE00 \uD800"})"), false},
    {"ControlCharacterIsLeftToTheParser", Listing::Sites, site("{\"name\":\"a\x01\"}"), false},
    {"ByteOrderMarkIsLeftToTheParser", Listing::Sites, "\xEF\xBB\xBF" + site("{}"), false},
    {"EscapedKeyIsLeftToTheParser", Listing::Sites, site(R"({"n\u0061me":"a"})"), false},
    {"NumberForAString", Listing::Sites, site(R"({"name":5})"), false},
    {"TextForABoolean", Listing::Sites, site(R"({"https":"true"})"), false},
    {"NullAmongAliases", Listing::Sites, site(R"({"aliases":["a",null]})"), false},
    {"MaintenanceModeWithoutEnabled", Listing::Sites, site(R"({"maintenance_mode":{"status":"on"}})"), false},
    {"IdAsNumber", Listing::Sites, sites(R"({"id":7,"type":"sites","attributes":{}})"), false},
    {"WithoutAttributes", Listing::Sites, sites(R"({"id":"7","type":"sites"})"), false},
    {"RelationshipNotAnObject", Listing::Sites, site("{}", R"(,"relationships":{"server":1})"), false},
    {"ElementNotAnObject", Listing::Sites, sites("1"), false},
    {"DataNull", Listing::Sites, R"({"data":null})", false},
    {"WithoutData", Listing::Sites, R"({"links":{}})", false},
    {"NotAnObject", Listing::Sites, "[]", false},
    {"Truncated", Listing::Sites, site(EverySiteMember).left(300), false},
    {"TrailingGarbage", Listing::Sites, site("{}") + " x", false},
    {"TrailingComma", Listing::Sites, site(R"({"name":"a",})"), false},
    {"InvalidUtf8", Listing::Sites, site("{\"name\":\"\xC0\xAF\"}"), false},
    {"EncodedSurrogate", Listing::Sites, site("{\"name\":\"\xED\xA0\x80\"}"), false},
    {"Empty", Listing::Sites, "", false},
    {"EveryServerMember",
     Listing::Servers,
     server(R"({"id":1001,"name":"s","size":"1GB","region":"fra1","credential_id":0,"ip_address":"203.0.113.1",)"
            R"("private_ip_address":"10.0.0.1","php_version":"php84","php_cli_version":"php84","revoked":true,)"
            R"("type":"app","ubuntu_version":"24.04","ssh_port":-22,"provider":"ocean2","identifier":"x",)"
            R"("opcache_status":null,"database_type":"mysql8","db_status":"installed","redis_status":null,)"
            R"("connection_status":"successful","timezone":"UTC","local_public_key":"ssh-ed25519 AAAA",)"
            R"("is_ready":true})"),
     true},
    {"RevokedNullIsFalse", Listing::Servers, server(R"({"id":-0,"revoked":null})"), true},
    {"ServerIdAsText", Listing::Servers, server(R"({"id":"5"})"), false},
    {"ServerIdWithZeroFractionIsLeftToTheParser", Listing::Servers, server(R"({"id":5.0})"), false},
    {"ServerIdWithFraction", Listing::Servers, server(R"({"id":5.5})"), false},
    {"ServerIdPastDoublePrecisionIsLeftToTheParser", Listing::Servers, server(R"({"id":9007199254740993})"), false},
    {"ServerWithoutId", Listing::Servers, server(R"({"name":"s"})"), false},
    {"Organizations",
     Listing::Organizations,
     R"({"data":[{"id":"1","type":"organizations","attributes":{"id":1,"name":"A","slug":"a"}},)"
     R"({"id":"2","type":"organizations","attributes":{"id":null,"name":"B","slug":"b/c"}},)"
     R"({"id":"3","type":"organizations","attributes":{"name":"C","slug":"c"}}]})",
     true},
    {"OrganizationWithoutSlug",
     Listing::Organizations,
     R"({"data":[{"id":"1","type":"organizations","attributes":{"name":"A"}}]})",
     false},
};

class ListingReaderTest : public ::testing::TestWithParam<ReaderRow>
{
};

TEST_P(ListingReaderTest, ReadsWhatTheParsedDocumentGivesOrLeavesItToTheParser)
{
    const ReaderRow &row = GetParam();
    switch (row.listing) {
    case Listing::Sites:
        expectAsParsed<Site>(row.body, row.direct);
        break;
    case Listing::Servers:
        expectAsParsed<Server>(row.body, row.direct);
        break;
    case Listing::Organizations:
        expectAsParsed<Organization>(row.body, row.direct);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Bodies,
                         ListingReaderTest,
                         ::testing::ValuesIn(Rows),
                         [](const ::testing::TestParamInfo<ReaderRow> &info) { return info.param.name; });

// Walks a listing page by page over HTTP, checking each page.
class PageWalker
{
public:
    explicit PageWalker(FakeForge &forge)
        : m_forge(forge)
    {
    }

    int pages() const { return m_pages; }

    template <typename A> QList<JSONAPIResponse<A>> walk(const QString &key, const QString &path)
    {
        QList<JSONAPIResponse<A>> read;
        std::optional<QUrl> url = m_forge.apiBase().resolved(QUrl(path));
        while (url) {
            QNetworkRequest request(*url);
            request.setRawHeader("Authorization", "Bearer " + key.toUtf8());
            const HttpResponse response = await(m_session.send(request));
            EXPECT_EQ(response.statusCode, 200) << url->toString().toStdString();
            expectAsParsed<A>(response.body, true);
            read.append(JSONAPIResponse<A>::fromJson(json::parseObject(response.body)));
            ++m_pages;
            const auto &links = read.last().links;
            url = links && links->next ? std::optional<QUrl>(QUrl(*links->next)) : std::nullopt;
        }
        return read;
    }

private:
    FakeForge &m_forge;
    HttpSession m_session;
    int m_pages = 0;
};

// Every page of every listing a refresh asks the demo's Forge for, with a generated account beside it
// for listings of several pages.
TEST(ListingReaderDemoTest, EveryDemoListingPageIsReadDirectlyAsTheParserReadsIt)
{
    FakeForge forge;
    const QList<DemoAccount> accounts = buildDemoData(forge);
    forge.buildAccount(2, 6, 130);
    PageWalker walker(forge);
    QStringList keys{QString::fromLatin1(DemoSpareKey)};
    for (const DemoAccount &account : accounts) {
        keys.append(account.key);
    }
    for (const QString &key : std::as_const(keys)) {
        for (const auto &page : walker.walk<Organization>(key, QStringLiteral("orgs?page%5Bsize%5D=50"))) {
            for (const auto &organization : page.data) {
                const QString slug = QString::fromLatin1(QUrl::toPercentEncoding(organization.attributes.slug));
                walker.walk<Server>(key, QStringLiteral("orgs/%1/servers?page%5Bsize%5D=50").arg(slug));
                walker.walk<Site>(key, QStringLiteral("orgs/%1/sites?page%5Bsize%5D=50&include=server").arg(slug));
            }
        }
    }
    EXPECT_GT(walker.pages(), 15);
}

} // namespace
