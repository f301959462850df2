#include "core/JsonReader.h"

#include "crashreporter/core/KXHexDigit.h"

#include <QVarLengthArray>

#include <array>
#include <cstring>

namespace plimsy::json {

namespace {

// Deeper text is left to the full parser.
constexpr int MaxDepth = 64;
// So are texts this long: the full parser has limits of its own on document size.
constexpr qsizetype MaxBytes = qsizetype(64) << 20;
// Longer texts are seldom repeated.
constexpr qsizetype MaxInterned = 24;
// More digits may not be exact once the full parser has made them a double.
constexpr int MaxDigits = 15;

// Bytes that may stand in a string as they are: printable ASCII other than the quote and backslash.
constexpr auto PlainBytes = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x80; ++c) {
        plain[size_t(c)] = c != '"' && c != '\\';
    }
    return plain;
}();

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isNoncharacter(char32_t c)
{
    return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
}

// The code unit of the four hex digits at `p`, or -1 when they are not four hex digits or name a
// surrogate or a noncharacter.
int escapedUnit(const char *p)
{
    int unit = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = kestrix::kxhexDigitValue(p[i]);
        if (digit < 0) {
            return -1;
        }
        unit = unit * 16 + digit;
    }
    if ((unit >= 0xD800 && unit <= 0xDFFF) || isNoncharacter(char32_t(unit))) {
        return -1;
    }
    return unit;
}

// The length of the well-formed UTF-8 sequence of a scalar value other than a noncharacter starting at
// `p` (whose first byte is not ASCII), or 0.
int sequenceLength(const unsigned char *p, const unsigned char *end)
{
    const unsigned char lead = p[0];
    int length = 0;
    char32_t value = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (end - p < length || p[1] < low || p[1] > high) {
        return 0;
    }
    value = (value << 6) | (p[1] & 0x3F);
    for (int i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF) {
            return 0;
        }
        value = (value << 6) | (p[i] & 0x3F);
    }
    return isNoncharacter(value) ? 0 : length;
}

void appendUtf8(QVarLengthArray<char, 256> &bytes, int unit)
{
    if (unit < 0x80) {
        bytes.append(char(unit));
    } else if (unit < 0x800) {
        bytes.append(char(0xC0 | (unit >> 6)));
        bytes.append(char(0x80 | (unit & 0x3F)));
    } else {
        bytes.append(char(0xE0 | (unit >> 12)));
        bytes.append(char(0x80 | ((unit >> 6) & 0x3F)));
        bytes.append(char(0x80 | (unit & 0x3F)));
    }
}

} // namespace

JsonReader::JsonReader(QByteArrayView text)
    : m_at(text.data())
    , m_end(text.data() + text.size())
    , m_failed(text.size() > MaxBytes)
{
}

bool JsonReader::fail()
{
    m_failed = true;
    return false;
}

bool JsonReader::skipSpace()
{
    while (m_at < m_end && (*m_at == ' ' || *m_at == '\n' || *m_at == '\r' || *m_at == '\t')) {
        ++m_at;
    }
    return m_at < m_end;
}

bool JsonReader::expect(char c)
{
    if (!skipSpace() || *m_at != c) {
        return fail();
    }
    ++m_at;
    return true;
}

JsonReader::Kind JsonReader::peek()
{
    if (m_failed || !skipSpace()) {
        return Kind::Other;
    }
    switch (*m_at) {
    case '{':
        return Kind::Object;
    case '[':
        return Kind::Array;
    case '"':
        return Kind::String;
    case 't':
    case 'f':
        return Kind::Bool;
    case 'n':
        return Kind::Null;
    default:
        return *m_at == '-' || isDigit(*m_at) ? Kind::Number : Kind::Other;
    }
}

bool JsonReader::enter()
{
    if (++m_depth > MaxDepth) {
        return fail();
    }
    ++m_at;
    m_first = true;
    return true;
}

bool JsonReader::beginObject()
{
    return peek() == Kind::Object ? enter() : fail();
}

bool JsonReader::beginArray()
{
    return peek() == Kind::Array ? enter() : fail();
}

bool JsonReader::next(char close)
{
    if (m_failed || !skipSpace()) {
        return fail();
    }
    if (*m_at == close) {
        ++m_at;
        --m_depth;
        m_first = false;
        return false;
    }
    if (!m_first && !expect(',')) {
        return false;
    }
    m_first = false;
    return true;
}

bool JsonReader::nextMember(QByteArrayView &key)
{
    if (!next('}') || !expect('"')) {
        return false;
    }
    const char *begin = m_at;
    bool plain = true;
    const char *end = nullptr;
    if (!scanString(plain, end)) {
        return false;
    }
    // A key with an escape is rare enough to leave to the full parser.
    if (std::memchr(begin, '\\', size_t(end - begin))) {
        return fail();
    }
    key = QByteArrayView(begin, end - begin);
    return expect(':');
}

bool JsonReader::nextElement()
{
    return next(']');
}

bool JsonReader::scanString(bool &plain, const char *&end)
{
    const auto *p = reinterpret_cast<const unsigned char *>(m_at);
    const auto *last = reinterpret_cast<const unsigned char *>(m_end);
    for (;;) {
        while (p < last && PlainBytes[*p]) {
            ++p;
        }
        if (p >= last) {
            return fail();
        }
        if (*p == '"') {
            end = reinterpret_cast<const char *>(p);
            m_at = end + 1;
            return true;
        }
        plain = false;
        if (*p == '\\') {
            if (last - p < 2) {
                return fail();
            }
            switch (p[1]) {
            case '"':
            case '\\':
            case '/':
            case 'b':
            case 'f':
            case 'n':
            case 'r':
            case 't':
                p += 2;
                break;
            case 'u':
                if (last - p < 6 || escapedUnit(reinterpret_cast<const char *>(p) + 2) < 0) {
                    return fail();
                }
                p += 6;
                break;
            default:
                return fail();
            }
        } else if (*p < 0x20) {
            return fail();
        } else {
            const int length = sequenceLength(p, last);
            if (length == 0) {
                return fail();
            }
            p += length;
        }
    }
}

bool JsonReader::readEscaped(const char *begin, const char *end, QString &value)
{
    QVarLengthArray<char, 256> bytes;
    for (const char *p = begin; p < end; ++p) {
        if (*p != '\\') {
            bytes.append(*p);
            continue;
        }
        ++p;
        switch (*p) {
        case 'b':
            bytes.append('\b');
            break;
        case 'f':
            bytes.append('\f');
            break;
        case 'n':
            bytes.append('\n');
            break;
        case 'r':
            bytes.append('\r');
            break;
        case 't':
            bytes.append('\t');
            break;
        case 'u':
            appendUtf8(bytes, escapedUnit(p + 1));
            p += 4;
            break;
        default: // '"', '\\' and '/' stand for themselves
            bytes.append(*p);
            break;
        }
    }
    value = QString::fromUtf8(bytes.constData(), bytes.size());
    return true;
}

bool JsonReader::readString(QString &value)
{
    if (peek() != Kind::String) {
        return fail();
    }
    const char *begin = ++m_at;
    bool plain = true;
    const char *end = nullptr;
    if (!scanString(plain, end)) {
        return false;
    }
    if (plain) {
        readPlain(begin, end, value);
    } else if (!std::memchr(begin, '\\', size_t(end - begin))) {
        value = QString::fromUtf8(begin, end - begin);
    } else {
        return readEscaped(begin, end, value);
    }
    return true;
}

void JsonReader::readPlain(const char *begin, const char *end, QString &value)
{
    const QByteArrayView bytes(begin, end - begin);
    if (bytes.size() > MaxInterned) {
        value = QString::fromLatin1(bytes);
        return;
    }
    quint32 hash = 2166136261u;
    for (const char c : bytes) {
        hash = (hash ^ quint8(c)) * 16777619u;
    }
    Interned &slot = m_interned[hash % m_interned.size()];
    if (slot.bytes.isNull() || slot.bytes != bytes) {
        slot = Interned{bytes, QString::fromLatin1(bytes)};
    }
    value = slot.text;
}

bool JsonReader::literal(const char *word, qsizetype size)
{
    if (m_end - m_at < size || std::memcmp(m_at, word, size_t(size)) != 0) {
        return fail();
    }
    m_at += size;
    return true;
}

bool JsonReader::readBool(bool &value)
{
    if (peek() != Kind::Bool) {
        return fail();
    }
    value = *m_at == 't';
    return value ? literal("true", 4) : literal("false", 5);
}

bool JsonReader::readNull()
{
    return peek() == Kind::Null ? literal("null", 4) : fail();
}

bool JsonReader::scanNumber(bool &whole)
{
    const char *p = m_at;
    if (*p == '-') {
        ++p;
    }
    int digits = 0;
    if (p < m_end && *p == '0') {
        ++p;
        digits = 1;
    } else {
        while (p < m_end && isDigit(*p)) {
            ++p;
            ++digits;
        }
    }
    if (digits == 0) {
        return fail();
    }
    whole = true;
    if (p < m_end && *p == '.') {
        whole = false;
        ++p;
        const char *fraction = p;
        while (p < m_end && isDigit(*p)) {
            ++p;
        }
        if (p == fraction) {
            return fail();
        }
        digits += int(p - fraction);
    }
    // Exponents and long numbers round in ways only the full parser should decide on.
    if (p >= m_end || *p == 'e' || *p == 'E' || digits > MaxDigits) {
        return fail();
    }
    m_at = p;
    return true;
}

bool JsonReader::readInteger(qint64 &value)
{
    if (peek() != Kind::Number) {
        return fail();
    }
    const char *begin = m_at;
    bool whole = false;
    if (!scanNumber(whole)) {
        return false;
    }
    if (!whole) {
        return fail();
    }
    const bool negative = *begin == '-';
    qint64 number = 0;
    for (const char *p = negative ? begin + 1 : begin; p < m_at; ++p) {
        number = number * 10 + (*p - '0');
    }
    value = negative ? -number : number;
    return true;
}

bool JsonReader::skipValue()
{
    switch (peek()) {
    case Kind::Object: {
        beginObject();
        QByteArrayView key;
        while (nextMember(key)) {
            if (!skipValue()) {
                return false;
            }
        }
        return !m_failed;
    }
    case Kind::Array:
        beginArray();
        while (nextElement()) {
            if (!skipValue()) {
                return false;
            }
        }
        return !m_failed;
    case Kind::String: {
        ++m_at;
        bool plain = true;
        const char *end = nullptr;
        return scanString(plain, end);
    }
    case Kind::Number: {
        bool whole = false;
        return scanNumber(whole);
    }
    case Kind::Bool: {
        bool value = false;
        return readBool(value);
    }
    case Kind::Null:
        return readNull();
    case Kind::Other:
        break;
    }
    return fail();
}

bool JsonReader::atEnd()
{
    return !m_failed && !skipSpace();
}

} // namespace plimsy::json
