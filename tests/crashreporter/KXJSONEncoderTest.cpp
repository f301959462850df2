#include "crashreporter/core/KXJSONEncoder.h"

#include "crashreporter/core/KXBufferedWriter.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryFile>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <utility>

using namespace kestrix;

namespace {

struct EncoderRow
{
    const char *name;
    bool prettyPrint;
    // Runs the operations and returns the code of the operation under test.
    std::function<int(KXJSONEncoder &)> operations;
    int expectedCode;
    QByteArray expectedText;
};

std::ostream &operator<<(std::ostream &out, const EncoderRow &row)
{
    return out << row.name;
}

// Encodes through a buffered writer of the given capacity into a real file and reads the file back.
QByteArray encode(const EncoderRow &row, size_t capacity, int *code)
{
    QTemporaryFile file;
    if (!file.open()) {
        ADD_FAILURE() << "no temporary file";
        return {};
    }
    char buffer[4096];
    KXBufferedWriter writer;
    writer.init(file.handle(), buffer, capacity);
    KXJSONEncoder encoder;
    encoder.beginEncoding(row.prettyPrint, &KXBufferedWriter::addJSONData, &writer);
    *code = row.operations(encoder);
    encoder.endEncoding();
    EXPECT_TRUE(writer.flush());
    QFile reader(file.fileName());
    EXPECT_TRUE(reader.open(QIODevice::ReadOnly));
    return reader.readAll();
}

int nest(KXJSONEncoder &encoder, int levels)
{
    int code = KXJSONOk;
    for (int i = 0; i < levels && code == KXJSONOk; i++) {
        code = encoder.beginArray(nullptr);
    }
    return code;
}

const EncoderRow EncoderRows[] = {
    {"escapes",
     false,
     [](KXJSONEncoder &e) {
         e.beginObject(nullptr);
         return e.addString("k\"ey", "q\" b\\ \b\t\n\f\r \x01\x1f / \xc3\xa9");
     },
     KXJSONOk,
     R"({"k\"ey":"q\" b\\ \b\t\n\f\r \u0001\u001F / )"
     "\xc3\xa9\"}"},
    {"long_string_over_escape_buffer",
     false,
     [](KXJSONEncoder &e) {
         e.beginArray(nullptr);
         static const std::string text = std::string(600, '"');
         return e.addString(nullptr, text.c_str());
     },
     KXJSONOk,
     "[\"" + QByteArray(1200, 'x').replace("xx", "\\\"") + "\"]"},
    {"broken_utf8_becomes_replacement_characters",
     false,
     [](KXJSONEncoder &e) {
         e.beginArray(nullptr);
         e.addString(nullptr,
                     "plimsy-\xc3\xbc"
                     "berpr\xc3");
         return e.addString(nullptr, "\xed\xa0\x80|\xff|\xc0\xaf|\xf0\x9f\x92\xa9");
     },
     KXJSONOk,
     "[\"plimsy-\xc3\xbc"
     "berpr\xef\xbf\xbd\",\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd|\xef\xbf\xbd|\xef\xbf\xbd\xef\xbf\xbd|"
     "\xf0\x9f\x92\xa9\"]"},
    {"utf8_across_appended_pieces",
     false,
     [](KXJSONEncoder &e) {
         e.beginArray(nullptr);
         e.beginString(nullptr);
         e.appendStringElement("\xe2\x82");
         e.appendStringElement("\xac and \xe2");
         return e.endString();
     },
     KXJSONOk,
     "[\"\xe2\x82\xac and \xef\xbf\xbd\"]"},
    {"many_broken_bytes_over_escape_buffer",
     false,
     [](KXJSONEncoder &e) {
         e.beginArray(nullptr);
         static const std::string text = std::string(600, '\xff');
         return e.addString(nullptr, text.c_str());
     },
     KXJSONOk,
     "[\"" + QByteArray("\xef\xbf\xbd").repeated(600) + "\"]"},
    {"integers",
     false,
     [](KXJSONEncoder &e) {
         e.beginArray(nullptr);
         e.addInteger(nullptr, 0);
         e.addInteger(nullptr, -7);
         e.addInteger(nullptr, std::numeric_limits<int64_t>::min());
         e.addInteger(nullptr, std::numeric_limits<int64_t>::max());
         return e.addUInteger(nullptr, std::numeric_limits<uint64_t>::max());
     },
     KXJSONOk,
     "[0,-7,-9223372036854775808,9223372036854775807,18446744073709551615]"},
    {"doubles",
     false,
     [](KXJSONEncoder &e) {
         e.beginArray(nullptr);
         for (double value : {0.0, 1.5, 150.0, 0.001, -2.25, 0.1, 1234567.8, 1e300, 3.0}) {
             e.addDouble(nullptr, value);
         }
         return KXJSONOk;
     },
     KXJSONOk,
     "[0,1.5,1.5e+2,1e-3,-2.25,1e-1,1.234568e+6,1e+300,3]"},
    {"non_finite_doubles_are_null",
     false,
     [](KXJSONEncoder &e) {
         e.beginObject(nullptr);
         e.addDouble("nan", std::nan(""));
         e.addDouble("inf", std::numeric_limits<double>::infinity());
         return e.addDouble("-inf", -std::numeric_limits<double>::infinity());
     },
     KXJSONOk,
     R"({"nan":null,"inf":null,"-inf":null})"},
    {"bools_null_and_null_string",
     false,
     [](KXJSONEncoder &e) {
         e.beginObject(nullptr);
         e.addBool("t", true);
         e.addBool("f", false);
         e.addNull("n");
         return e.addString("s", nullptr);
     },
     KXJSONOk,
     R"({"t":true,"f":false,"n":null,"s":null})"},
    {"data_as_hex",
     false,
     [](KXJSONEncoder &e) {
         e.beginObject(nullptr);
         e.addData("d", "\x00\xab\x10", 3);
         e.beginData("p");
         e.appendData("\xff", 1);
         e.appendData("\x01", 1);
         return e.endData();
     },
     KXJSONOk,
     R"({"d":"00AB10","p":"FF01"})"},
    {"keys_in_arrays_are_ignored",
     false,
     [](KXJSONEncoder &e) {
         e.beginArray("ignored");
         return e.addInteger("also", 1);
     },
     KXJSONOk,
     "[1]"},
    {"null_key_in_object_refused_without_separator",
     false,
     [](KXJSONEncoder &e) {
         e.beginObject(nullptr);
         e.addInteger("a", 1);
         const int code = e.addInteger(nullptr, 2);
         e.addInteger("b", 3);
         return code;
     },
     KXJSONErrorInvalidData,
     R"({"a":1,"b":3})"},
    {"raw_json_accepted_with_leading_blanks",
     false,
     [](KXJSONEncoder &e) {
         e.beginObject(nullptr);
         e.addRawJSON("o", "  {\"a\":[1,\"]}\\\"\"]}");
         e.addRawJSON("n", "-1.5e3");
         e.addRawJSON("t", "true");
         return e.addRawJSON("z", nullptr);
     },
     KXJSONOk,
     R"({"o":  {"a":[1,"]}\""]},"n":-1.5e3,"t":true,"z":null})"},
    {"raw_json_refused_when_first_character_bad",
     false,
     [](KXJSONEncoder &e) {
         e.beginObject(nullptr);
         return e.addRawJSON("x", "xyz");
     },
     KXJSONErrorInvalidData,
     "{}"},
    {"raw_json_refused_when_unbalanced",
     false,
     [](KXJSONEncoder &e) {
         e.beginObject(nullptr);
         int worst = KXJSONOk;
         for (const char *bad : {"{\"a\":1", "[1,2}", "\"open", "{}}", "[]x", "  ", ""}) {
             const int code = e.addRawJSON("x", bad);
             worst = code != KXJSONOk ? code : worst;
             if (code == KXJSONOk) {
                 return -1;
             }
         }
         return worst;
     },
     KXJSONErrorInvalidData,
     "{}"},
    {"nesting_refused_at_limit",
     false,
     [](KXJSONEncoder &e) {
         const int opened = nest(e, KXJSONMaxContainerLevel - 1);
         if (opened != KXJSONOk || e.containerLevel() != KXJSONMaxContainerLevel - 1) {
             return -1;
         }
         const int refused = e.beginObject(nullptr);
         e.addInteger(nullptr, 1);
         return refused;
     },
     KXJSONErrorInvalidData,
     QByteArray(KXJSONMaxContainerLevel - 1, '[') + "1" + QByteArray(KXJSONMaxContainerLevel - 1, ']')},
    {"end_container_at_top_does_nothing",
     false,
     [](KXJSONEncoder &e) {
         e.beginArray(nullptr);
         e.endContainer();
         e.endContainer();
         return e.endContainer();
     },
     KXJSONOk,
     "[]"},
    {"pretty_print",
     true,
     [](KXJSONEncoder &e) {
         e.beginObject(nullptr);
         e.addInteger("a", 1);
         e.beginArray("b");
         e.endContainer();
         e.beginObject("c");
         return e.addBool("d", true);
     },
     KXJSONOk,
     "{\n    \"a\": 1,\n    \"b\": [],\n    \"c\": {\n        \"d\": true\n    }\n}"},
    {"string_in_pieces",
     false,
     [](KXJSONEncoder &e) {
         e.beginObject(nullptr);
         e.beginString("s");
         e.appendStringElement("ab");
         e.appendStringElement("\"c");
         return e.endString();
     },
     KXJSONOk,
     R"({"s":"ab\"c"})"},
};

class KXJSONEncoderTest : public ::testing::TestWithParam<EncoderRow>
{
};

TEST_P(KXJSONEncoderTest, writesExpectedTextThatParsesForEveryBufferSize)
{
    const EncoderRow &row = GetParam();
    int smallCode = 0;
    int largeCode = 0;
    const QByteArray small = encode(row, 1, &smallCode);
    const QByteArray large = encode(row, 4096, &largeCode);
    EXPECT_EQ(smallCode, row.expectedCode);
    EXPECT_EQ(largeCode, row.expectedCode);
    EXPECT_EQ(small, row.expectedText);
    EXPECT_EQ(large, small);
    QJsonParseError error;
    QJsonDocument::fromJson(large, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Rows, KXJSONEncoderTest, ::testing::ValuesIn(EncoderRows), [](const auto &info) {
    return std::string(info.param.name);
});

TEST(KXJSONEncoderFormatTest, formatsNumbersForCrashTimeText)
{
    char buffer[32];
    KXJSONEncoder::formatDouble(std::nan(""), 7, buffer);
    EXPECT_STREQ(buffer, "nan");
    KXJSONEncoder::formatDouble(-std::numeric_limits<double>::infinity(), 7, buffer);
    EXPECT_STREQ(buffer, "-inf");
    KXJSONEncoder::formatDouble(3.141592653589793, 16, buffer);
    EXPECT_STREQ(buffer, "3.141592653589793");
    KXJSONEncoder::formatDouble(9.9999999, 7, buffer);
    EXPECT_STREQ(buffer, "1e+1");
    KXJSONEncoder::formatHex(0, 0, buffer);
    EXPECT_STREQ(buffer, "0");
    KXJSONEncoder::formatHex(0xdeadBEEFull, 0, buffer);
    EXPECT_STREQ(buffer, "deadbeef");
    KXJSONEncoder::formatHex(0x1f, 4, buffer);
    EXPECT_STREQ(buffer, "001f");
    EXPECT_STREQ(kxjsonStringForError(4), "Invalid data");
    EXPECT_STREQ(kxjsonStringForError(99), "(unknown error)");
}

// Raw JSON goes into a report unchanged, so anything the grammar refuses would make the whole
// report unreadable. Each text is checked whole and fed one byte at a time.
TEST(KXJSONRawValidatorTest, acceptsExactlyTheTextsTheGrammarAllows)
{
    const std::pair<const char *, bool> rows[] = {
        {"0", true},
        {"-0.5e+10", true},
        {"12E-3 ", true},
        {"\"caf\\u00e9 \\\"x\\\" \\/\\n\"", true},
        {" {\"a\":[true,false,null,{},[]],\"b\":{\"c\":\"\"}}\n", true},
        {"[ 1 , -2 ]", true},
        {"tru", false},
        {"-", false},
        {"{\"a\":}", false},
        {"[1 2]", false},
        {"1.2.3", false},
        {"01", false},
        {"1.", false},
        {".5", false},
        {"1e", false},
        {"1e+", false},
        {"[1,]", false},
        {"{\"a\":1,}", false},
        {"{\"a\" 1}", false},
        {"{1:2}", false},
        {"[,]", false},
        {"nulll", false},
        {"truefalse", false},
        {"\"\\x\"", false},
        {"\"\\u12\"", false},
        {"\"tab\there\"", false},
        {"\"\xc3\xa9 \xf0\x9f\x92\xa9\"", true},
        {"\"\\ud800\"", true},
        {"\"\xc3\"", false},
        {"\"\xc3(\"", false},
        {"\"\xed\xa0\x80\"", false},
        {"\"\xc0\xaf\"", false},
        {"\"\xf4\x90\x80\x80\"", false},
        {"{\"\xff\":1}", false},
        {"{\"a\":1", false},
        {"[1,2}", false},
        {"[]x", false},
        {"  ", false},
    };
    for (const auto &[text, isAccepted] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(KXJSONEncoder::isAcceptableRawJSON(text, strlen(text)), isAccepted);
        KXJSONRawValidator validator;
        for (const char *c = text; *c != 0; c++) {
            validator.feed(c, 1);
        }
        EXPECT_EQ(validator.finish(), isAccepted);
    }
}

TEST(KXBufferedWriterTest, failedWriteIsReportedAsCannotAddData)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    close(fds[1]);
    char buffer[4];
    KXBufferedWriter writer;
    writer.init(fds[1], buffer, sizeof(buffer));
    EXPECT_EQ(KXBufferedWriter::addJSONData("0123456789", 10, &writer), KXJSONErrorCannotAddData);
}

} // namespace
