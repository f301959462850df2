#include "core/Puny.h"

using namespace plimsy;

namespace {

struct PunyRow
{
    const char *name;
    std::u32string unicode;
    const char *punycode;
};

QString fromScalars(const std::u32string &text)
{
    return QString::fromUcs4(text.data(), qsizetype(text.size()));
}

class PunycodeSampleTest : public ::testing::TestWithParam<PunyRow>
{
};

TEST_P(PunycodeSampleTest, EncodesAndDecodesTheSample)
{
    const Puny puny;
    const QString unicode = fromScalars(GetParam().unicode);
    const QString punycode = QString::fromLatin1(GetParam().punycode);
    EXPECT_EQ(puny.encodePunycode(unicode), punycode);
    EXPECT_EQ(puny.decodePunycode(punycode), unicode);
}

// The sample strings of RFC 3492, section 7.1 (lower case: the encoder writes no case annotation).
INSTANTIATE_TEST_SUITE_P(
    Rfc3492,
    PunycodeSampleTest,
    ::testing::Values(
        PunyRow{"arabic",
                U"\U00000644\U0000064A\U00000647\U00000645\U00000627\U00000628\U0000062A\U00000643\U00000644\U00000645"
                U"\U00000648\U00000634\U00000639\U00000631\U00000628\U0000064A\U0000061F",
                "egbpdaj6bu4bxfgehfvwxn"},
        PunyRow{"chineseSimplified",
                U"\U00004ED6\U00004EEC\U00004E3A\U00004EC0\U00004E48\U00004E0D\U00008BF4\U00004E2D\U00006587",
                "ihqwcrb4cv8a8dqg056pqjye"},
        PunyRow{"chineseTraditional",
                U"\U00004ED6\U00005011\U00007232\U00004EC0\U00009EBD\U00004E0D\U00008AAA\U00004E2D\U00006587",
                "ihqwctvzc91f659drss3x8bo0yb"},
        PunyRow{
            "czech", U"Pro\U0000010Dprost\U0000011Bnemluv\U000000ED\U0000010Desky", "Proprostnemluvesky-uyb24dma41a"},
        PunyRow{"hebrew",
                U"\U000005DC\U000005DE\U000005D4\U000005D4\U000005DD\U000005E4\U000005E9\U000005D5\U000005D8\U000005DC"
                U"\U000005D0\U000005DE\U000005D3\U000005D1\U000005E8\U000005D9\U000005DD\U000005E2\U000005D1\U000005E8"
                U"\U000005D9\U000005EA",
                "4dbcagdahymbxekheh6e0a7fei0b"},
        PunyRow{"hindi",
                U"\U0000092F\U00000939\U00000932\U0000094B\U00000917\U00000939\U0000093F\U00000928\U0000094D\U00000926"
                U"\U00000940\U00000915\U0000094D\U0000092F\U0000094B\U00000902\U00000928\U00000939\U00000940\U00000902"
                U"\U0000092C\U0000094B\U00000932\U00000938\U00000915\U00000924\U00000947\U00000939\U00000948\U00000902",
                "i1baa7eci9glrd9b2ae1bj0hfcgg6iyaf8o0a1dig0cd"},
        PunyRow{"japanese",
                U"\U0000306A\U0000305C\U0000307F\U00003093\U0000306A\U000065E5\U0000672C\U00008A9E\U00003092\U00008A71"
                U"\U00003057\U00003066\U0000304F\U0000308C\U0000306A\U00003044\U0000306E\U0000304B",
                "n8jok5ay5dzabd5bym9f0cm5685rrjetr6pdxa"},
        PunyRow{"korean",
                U"\U0000C138\U0000ACC4\U0000C758\U0000BAA8\U0000B4E0\U0000C0AC\U0000B78C\U0000B4E4\U0000C774\U0000D55C"
                U"\U0000AD6D\U0000C5B4\U0000B97C\U0000C774\U0000D574\U0000D55C\U0000B2E4\U0000BA74\U0000C5BC\U0000B9C8"
                U"\U0000B098\U0000C88B\U0000C744\U0000AE4C",
                "989aomsvi5e83db1d2a355cv1e0vak1dwrv93d5xbh15a0dt30a5jpsd879ccm6fea98c"},
        PunyRow{"russian",
                U"\U0000043F\U0000043E\U00000447\U00000435\U0000043C\U00000443\U00000436\U00000435\U0000043E\U0000043D"
                U"\U00000438\U0000043D\U00000435\U00000433\U0000043E\U00000432\U0000043E\U00000440\U0000044F\U00000442"
                U"\U0000043F\U0000043E\U00000440\U00000443\U00000441\U00000441\U0000043A\U00000438",
                "b1abfaaepdrnnbgefbadotcwatmq2g4l"},
        PunyRow{"spanish",
                U"Porqu\U000000E9nopuedensimplementehablarenEspa\U000000F1ol",
                "PorqunopuedensimplementehablarenEspaol-fmd56a"},
        PunyRow{
            "vietnamese",
            U"T\U00001EA1isaoh\U00001ECDkh\U000000F4ngth\U00001EC3ch\U00001EC9n\U000000F3iti\U00001EBFngVi\U00001EC7t",
            "TisaohkhngthchnitingVit-kjcr8268qyxafd2f1b9g"},
        PunyRow{"threeNenBGumi",
                U"3\U00005E74B\U00007D44\U000091D1\U0000516B\U00005148\U0000751F",
                "3B-ww4c5e180e575a65lsy2b"},
        PunyRow{"superMonkeys",
                U"\U00005B89\U00005BA4\U00005948\U00007F8E\U00006075-with-SUPER-MONKEYS",
                "-with-SUPER-MONKEYS-pc58ag80a8qai00g7n9n"},
        PunyRow{"helloAnotherWay",
                U"Hello-Another-Way-\U0000305D\U0000308C\U0000305E\U0000308C\U0000306E\U00005834\U00006240",
                "Hello-Another-Way--fc4qua05auwb3674vfr0b"},
        PunyRow{"hitotsuYane",
                U"\U00003072\U00003068\U00003064\U00005C4B\U00006839\U0000306E\U00004E0B2",
                "2-u9tlzr9756bt3uc0v"},
        PunyRow{
            "majiDeKoi", U"Maji\U00003067Koi\U00003059\U0000308B5\U000079D2\U0000524D", "MajiKoi5-783gue6qz075azm5e"},
        PunyRow{"pafiiDeRunba",
                U"\U000030D1\U000030D5\U000030A3\U000030FCde\U000030EB\U000030F3\U000030D0",
                "de-jg4avhby1noc0d"},
        PunyRow{"sonoSupiido",
                U"\U0000305D\U0000306E\U000030B9\U000030D4\U000030FC\U000030C9\U00003067",
                "d9juau41awczczp"},
        PunyRow{"dollar", U"-> $1.00 <-", "-> $1.00 <--"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(PunycodeTest, BareEdgeCases)
{
    const Puny puny;
    EXPECT_EQ(puny.decodePunycode(u"abc-"), "abc");
    EXPECT_EQ(puny.encodePunycode(u"abc"), "abc-");
    EXPECT_EQ(puny.encodePunycode(u""), "");
    EXPECT_EQ(puny.decodePunycode(u""), "");
    EXPECT_EQ(puny.decodePunycode(u"-abc"), std::nullopt);
    EXPECT_EQ(puny.decodePunycode(u"ls8h"), fromScalars(U"\U0001F4A9"));
    EXPECT_EQ(puny.encodePunycode(fromScalars(U"\U0001F4A9")), "ls8h");
    EXPECT_EQ(puny.decodePunycode(u"mnchen-3ya"), "münchen");
}

struct BadInputRow
{
    const char *name;
    const char16_t *input;
};

class PunycodeBadInputTest : public ::testing::TestWithParam<BadInputRow>
{
};

TEST_P(PunycodeBadInputTest, FailsCleanly)
{
    EXPECT_EQ(Puny().decodePunycode(GetParam().input), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Bad,
                         PunycodeBadInputTest,
                         ::testing::Values(BadInputRow{"unfinishedInteger", u"9"},
                                           BadInputRow{"unfinishedAfterBasic", u"abc-9"},
                                           BadInputRow{"punctuationDigit", u"abc-3y!"},
                                           BadInputRow{"nonAsciiDigit", u"abc-3yä"},
                                           BadInputRow{"overflowingInteger",
                                                       u"99999999999999999999999999999999999999999"},
                                           BadInputRow{"overflowAfterBasic", u"a-99999999999999999999999999999999a"},
                                           BadInputRow{"beyondUnicode", u"en32g"},
                                           BadInputRow{"surrogate", u"ib9b"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(PunycodeTest, TheLastValidCodePointsStillDecode)
{
    const Puny puny;
    EXPECT_EQ(puny.decodePunycode(*puny.encodePunycode(fromScalars(U"\U0010FFFF"))), fromScalars(U"\U0010FFFF"));
    EXPECT_EQ(puny.decodePunycode(*puny.encodePunycode(fromScalars(U"\uD7FF\uE000"))), fromScalars(U"\uD7FF\uE000"));
}

struct DomainRow
{
    const char *name;
    const char16_t *ascii;
    std::optional<std::u32string> shown; // none: the name cannot be decoded
};

class IDNADomainTest : public ::testing::TestWithParam<DomainRow>
{
};

TEST_P(IDNADomainTest, ShowsTheDecodedNameOnlyWhereItCannotPassForAnother)
{
    const std::optional<QString> shown = decodeIDNADomain(QString::fromUtf16(GetParam().ascii));
    EXPECT_EQ(shown, GetParam().shown ? std::optional(fromScalars(*GetParam().shown)) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Names,
                         IDNADomainTest,
                         ::testing::Values(DomainRow{"unicodeLabel", u"xn--mnchen-3ya.de", U"m\u00FCnchen.de"},
                                           DomainRow{"plainName", u"example.com", U"example.com"},
                                           DomainRow{"everyLabel",
                                                     u"www.xn--mnchen-3ya.xn--e1afmkfd.de",
                                                     U"www.m\u00FCnchen.\u043F\u0440\u0438\u043C\u0435\u0440.de"},
                                           DomainRow{"upperCaseDigits", u"xn--mnchen-3YA.de", U"m\u00FCnchen.de"},
                                           DomainRow{"upperCasePrefix", u"XN--MNCHEN-3YA.DE", U"M\u00FCNCHEN.DE"},
                                           DomainRow{"emptyLabelsVanish", u"a..b.", U"a.b"},
                                           DomainRow{"onlyDots", u"...", U""},
                                           DomainRow{"undecodable", u"ok.xn--9.de", std::nullopt},
                                           DomainRow{"decodesToNothing", u"xn--.com", U"xn--.com"},
                                           DomainRow{"plainASCIIInDisguise", u"xn--google-.com", U"xn--google-.com"},
                                           DomainRow{"bidiOverride", u"xn--elgoog-9l0c.com", U"xn--elgoog-9l0c.com"},
                                           DomainRow{"zeroWidthSpace", u"xn--google-df0c.com", U"xn--google-df0c.com"},
                                           DomainRow{"noBreakSpace", u"xn--google-rga.com", U"xn--google-rga.com"},
                                           DomainRow{"c1Control", u"xn--ab-qa.com", U"xn--ab-qa.com"},
                                           DomainRow{"fullWidthLetters", u"xn--qi7cdauna.com", U"xn--qi7cdauna.com"},
                                           DomainRow{"decomposedUmlaut", u"xn--munchen-gie.de", U"xn--munchen-gie.de"},
                                           DomainRow{"notItsOwnEncoding", u"xn--b\u00FC-.de", U"xn--b\u00FC-.de"},
                                           DomainRow{"oneDisguisedLabelOfTwo",
                                                     u"xn--mnchen-3ya.xn--google-.com",
                                                     U"m\u00FCnchen.xn--google-.com"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(IDNATest, EncodesLabelsOutsideTheHostSet)
{
    EXPECT_EQ(encodeIDNADomain("MÜNCHEN.DE"), "xn--mnchen-3ya.DE");
    EXPECT_EQ(encodeIDNADomain("a..b."), "a.b");
    EXPECT_EQ(encodeIDNADomain("a b"), "xn--a b-");
    EXPECT_EQ(encodeIDNADomain("Example.COM"), "Example.COM");
    EXPECT_EQ(encodeIDNADomain("[::1]:8080"), "[::1]:8080");
    EXPECT_EQ(encodeIDNADomain(fromScalars(U"\U0001F4A9.la")), "xn--ls8h.la");
    EXPECT_EQ(decodeIDNADomain(*encodeIDNADomain("bücher.example")), "bücher.example");
}

} // namespace
