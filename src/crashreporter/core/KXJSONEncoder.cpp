#include "crashreporter/core/KXJSONEncoder.h"

#include "crashreporter/core/KXUTF8.h"

#include <cmath>
#include <cstring>

namespace kestrix {

namespace {

constexpr size_t StringChunkSize = 512;
// The most one input byte can add: U+FFFD for the broken sequence before it, then its own escape.
constexpr size_t MaxBytesPerInputByte = 9;
constexpr size_t EscapeFlushThreshold = StringChunkSize - MaxBytesPerInputByte;
// U+FFFD, which stands for each broken UTF-8 sequence.
constexpr char Replacement[] = {'\xEF', '\xBF', '\xBD'};

} // namespace

const char *kxjsonStringForError(int error)
{
    switch (error) {
    case KXJSONErrorInvalidCharacter:
        return "Invalid character";
    case KXJSONErrorCannotAddData:
        return "Cannot add data";
    case KXJSONErrorIncomplete:
        return "Incomplete data";
    case KXJSONErrorInvalidData:
        return "Invalid data";
    default:
        return "(unknown error)";
    }
}

void KXJSONEncoder::beginEncoding(bool prettyPrint, KXJSONAddDataFunc addData, void *userData)
{
    memset(this, 0, sizeof(*this));
    m_addData = addData;
    m_userData = userData;
    m_prettyPrint = prettyPrint;
    m_containerIsEmpty = true;
}

int KXJSONEncoder::add(const char *data, size_t length)
{
    return m_addData(data, length, m_userData);
}

int KXJSONEncoder::addText(const char *text)
{
    return add(text, strlen(text));
}

int KXJSONEncoder::addIndent()
{
    int result = add("\n", 1);
    for (int i = 0; i < m_containerLevel && result == KXJSONOk; i++) {
        result = add("    ", 4);
    }
    return result;
}

int KXJSONEncoder::beginElement(const char *key)
{
    const bool needsKey = m_containerLevel > 0 && m_isObject[m_containerLevel];
    // Check before writing anything: a refused element must leave the document as it was.
    if (needsKey && key == nullptr) {
        return KXJSONErrorInvalidData;
    }
    int result = KXJSONOk;
    if (!m_containerIsEmpty) {
        if ((result = add(",", 1)) != KXJSONOk) {
            return result;
        }
    } else {
        m_containerIsEmpty = false;
    }
    if (m_prettyPrint && m_containerLevel > 0 && (result = addIndent()) != KXJSONOk) {
        return result;
    }
    if (needsKey) {
        if ((result = addQuotedEscapedString(key, strlen(key))) != KXJSONOk) {
            return result;
        }
        result = m_prettyPrint ? add(": ", 2) : add(":", 1);
    }
    return result;
}

int KXJSONEncoder::beginContainer(const char *key, bool isObject)
{
    if (m_containerLevel + 1 >= KXJSONMaxContainerLevel) {
        return KXJSONErrorInvalidData;
    }
    int result = beginElement(key);
    if (result != KXJSONOk) {
        return result;
    }
    m_containerLevel++;
    m_isObject[m_containerLevel] = isObject ? 1 : 0;
    m_containerIsEmpty = true;
    return add(isObject ? "{" : "[", 1);
}

int KXJSONEncoder::beginObject(const char *key)
{
    return beginContainer(key, true);
}

int KXJSONEncoder::beginArray(const char *key)
{
    return beginContainer(key, false);
}

int KXJSONEncoder::endContainer()
{
    if (m_containerLevel <= 0) {
        return KXJSONOk;
    }
    const bool isObject = m_isObject[m_containerLevel];
    m_containerLevel--;
    int result = KXJSONOk;
    if (m_prettyPrint && !m_containerIsEmpty && (result = addIndent()) != KXJSONOk) {
        return result;
    }
    m_containerIsEmpty = false;
    return add(isObject ? "}" : "]", 1);
}

int KXJSONEncoder::endEncoding()
{
    int result = KXJSONOk;
    while (m_containerLevel > 0) {
        if ((result = endContainer()) != KXJSONOk) {
            return result;
        }
    }
    return result;
}

int KXJSONEncoder::addBool(const char *key, bool value)
{
    int result = beginElement(key);
    return result != KXJSONOk ? result : addText(value ? "true" : "false");
}

int KXJSONEncoder::addNull(const char *key)
{
    int result = beginElement(key);
    return result != KXJSONOk ? result : addText("null");
}

int KXJSONEncoder::addDecimal(const char *key, uint64_t magnitude, bool isNegative)
{
    int result = beginElement(key);
    if (result != KXJSONOk) {
        return result;
    }
    char buffer[21];
    char *end = buffer + sizeof(buffer);
    char *p = end;
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (isNegative) {
        *--p = '-';
    }
    return add(p, static_cast<size_t>(end - p));
}

int KXJSONEncoder::addInteger(const char *key, int64_t value)
{
    // Work on the unsigned magnitude so that INT64_MIN does not overflow.
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    return addDecimal(key, magnitude, value < 0);
}

int KXJSONEncoder::addUInteger(const char *key, uint64_t value)
{
    return addDecimal(key, value, false);
}

size_t KXJSONEncoder::formatDouble(double value, int significantDigits, char *out)
{
    char *p = out;
    if (significantDigits < 1) {
        significantDigits = 1;
    } else if (significantDigits > 17) {
        significantDigits = 17;
    }
    if (value == 0) {
        *p++ = '0';
        *p = 0;
        return 1;
    }
    if (std::isnan(value)) {
        memcpy(out, "nan", 4);
        return 3;
    }
    if (value < 0) {
        *p++ = '-';
        value = -value;
    }
    if (std::isinf(value)) {
        memcpy(p, "inf", 4);
        return static_cast<size_t>(p - out) + 3;
    }
    int exponent = static_cast<int>(std::log10(value));
    if (value < 1) {
        exponent--;
    }
    double mantissa = value / std::pow(10.0, exponent);
    if (mantissa > 9.999999999999998) {
        exponent++;
        mantissa = value / std::pow(10.0, exponent);
    } else if (mantissa < 1) {
        exponent--;
        mantissa = value / std::pow(10.0, exponent);
    }
    uint64_t limit = 1;
    for (int i = 0; i < significantDigits; i++) {
        limit *= 10;
    }
    const double scaled = mantissa * static_cast<double>(limit / 10);
    uint64_t digits = static_cast<uint64_t>(scaled);
    if (scaled - static_cast<double>(digits) >= 0.5) {
        digits++;
    }
    if (digits >= limit) {
        digits /= 10;
        exponent++;
    }
    char text[20];
    for (int i = significantDigits - 1; i >= 0; i--) {
        text[i] = static_cast<char>('0' + digits % 10);
        digits /= 10;
    }
    int last = significantDigits - 1;
    while (last > 0 && text[last] == '0') {
        last--;
    }
    *p++ = text[0];
    if (last > 0) {
        *p++ = '.';
        for (int i = 1; i <= last; i++) {
            *p++ = text[i];
        }
    }
    if (exponent != 0) {
        *p++ = 'e';
        if (exponent > 0) {
            *p++ = '+';
        } else {
            *p++ = '-';
            exponent = -exponent;
        }
        char expText[6];
        int n = 0;
        do {
            expText[n++] = static_cast<char>('0' + exponent % 10);
            exponent /= 10;
        } while (exponent != 0);
        while (n > 0) {
            *p++ = expText[--n];
        }
    }
    *p = 0;
    return static_cast<size_t>(p - out);
}

size_t KXJSONEncoder::formatHex(uint64_t value, int minDigits, char *out)
{
    static const char digits[] = "0123456789abcdef";
    if (minDigits > 16) {
        minDigits = 16;
    }
    char text[16];
    int n = 0;
    do {
        text[n++] = digits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    while (n < minDigits) {
        text[n++] = '0';
    }
    size_t length = 0;
    while (n > 0) {
        out[length++] = text[--n];
    }
    out[length] = 0;
    return length;
}

int KXJSONEncoder::addDouble(const char *key, double value)
{
    if (!std::isfinite(value)) {
        return addNull(key);
    }
    int result = beginElement(key);
    if (result != KXJSONOk) {
        return result;
    }
    char buffer[32];
    const size_t length = formatDouble(value, 7, buffer);
    return add(buffer, length);
}

int KXJSONEncoder::addEscapedString(const char *value, size_t length)
{
    bool isPlain = m_partialLength == 0;
    for (size_t i = 0; i < length && isPlain; i++) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        isPlain = c >= 0x20 && c < 0x80 && c != '\\' && c != '"';
    }
    if (isPlain) {
        return add(value, length);
    }
    static const char hex[] = "0123456789ABCDEF";
    char buffer[StringChunkSize];
    size_t used = 0;
    int result = KXJSONOk;
    for (size_t i = 0; i < length; i++) {
        if (used >= EscapeFlushThreshold) {
            if ((result = add(buffer, used)) != KXJSONOk) {
                return result;
            }
            used = 0;
        }
        const unsigned char c = static_cast<unsigned char>(value[i]);
        if (m_partialLength > 0) {
            if (kxutf8Continues(m_partial[0], m_partialLength, c)) {
                m_partial[m_partialLength++] = c;
                if (m_partialLength == m_partialNeeded) {
                    memcpy(buffer + used, m_partial, m_partialLength);
                    used += m_partialLength;
                    m_partialLength = 0;
                }
                continue;
            }
            memcpy(buffer + used, Replacement, sizeof(Replacement));
            used += sizeof(Replacement);
            m_partialLength = 0; // and `c` starts afresh
        }
        switch (c) {
        case '\b':
            buffer[used++] = '\\';
            buffer[used++] = 'b';
            break;
        case '\t':
            buffer[used++] = '\\';
            buffer[used++] = 't';
            break;
        case '\n':
            buffer[used++] = '\\';
            buffer[used++] = 'n';
            break;
        case '\f':
            buffer[used++] = '\\';
            buffer[used++] = 'f';
            break;
        case '\r':
            buffer[used++] = '\\';
            buffer[used++] = 'r';
            break;
        case '\\':
        case '"':
            buffer[used++] = '\\';
            buffer[used++] = static_cast<char>(c);
            break;
        default:
            if (c < 0x20) {
                memcpy(buffer + used, "\\u00", 4);
                used += 4;
                buffer[used++] = hex[c >> 4];
                buffer[used++] = hex[c & 0xF];
            } else if (c < 0x80) {
                buffer[used++] = static_cast<char>(c);
            } else if (const size_t needed = kxutf8SequenceLength(c); needed != 0) {
                m_partial[0] = c;
                m_partialLength = 1;
                m_partialNeeded = needed;
            } else {
                memcpy(buffer + used, Replacement, sizeof(Replacement));
                used += sizeof(Replacement);
            }
        }
    }
    return used > 0 ? add(buffer, used) : KXJSONOk;
}

int KXJSONEncoder::finishEscapedString()
{
    if (m_partialLength == 0) {
        return KXJSONOk;
    }
    m_partialLength = 0;
    return add(Replacement, sizeof(Replacement));
}

int KXJSONEncoder::addQuotedEscapedString(const char *value, size_t length)
{
    int result = add("\"", 1);
    if (result != KXJSONOk) {
        return result;
    }
    if ((result = appendStringElement(value, length)) != KXJSONOk) {
        return result;
    }
    return endString();
}

int KXJSONEncoder::addString(const char *key, const char *value, size_t length)
{
    if (value == nullptr) {
        return addNull(key);
    }
    int result = beginElement(key);
    if (result != KXJSONOk) {
        return result;
    }
    return addQuotedEscapedString(value, length == KXJSONSizeAutomatic ? strlen(value) : length);
}

int KXJSONEncoder::beginString(const char *key)
{
    int result = beginElement(key);
    return result != KXJSONOk ? result : add("\"", 1);
}

int KXJSONEncoder::appendStringElement(const char *value, size_t length)
{
    if (length == KXJSONSizeAutomatic) {
        length = strlen(value);
    }
    int result = KXJSONOk;
    for (size_t offset = 0; offset < length && result == KXJSONOk; offset += StringChunkSize) {
        const size_t piece = length - offset < StringChunkSize ? length - offset : StringChunkSize;
        result = addEscapedString(value + offset, piece);
    }
    return result;
}

int KXJSONEncoder::endString()
{
    const int result = finishEscapedString();
    return result != KXJSONOk ? result : add("\"", 1);
}

int KXJSONEncoder::addData(const char *key, const char *value, size_t length)
{
    int result = beginData(key);
    if (result == KXJSONOk) {
        result = appendData(value, length);
    }
    return result == KXJSONOk ? endData() : result;
}

int KXJSONEncoder::beginData(const char *key)
{
    return beginString(key);
}

int KXJSONEncoder::appendData(const char *value, size_t length)
{
    static const char hex[] = "0123456789ABCDEF";
    char buffer[StringChunkSize];
    size_t used = 0;
    for (size_t i = 0; i < length; i++) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        buffer[used++] = hex[c >> 4];
        buffer[used++] = hex[c & 0xF];
        if (used == sizeof(buffer)) {
            int result = add(buffer, used);
            if (result != KXJSONOk) {
                return result;
            }
            used = 0;
        }
    }
    return used > 0 ? add(buffer, used) : KXJSONOk;
}

int KXJSONEncoder::endData()
{
    return endString();
}

bool KXJSONEncoder::isAcceptableRawJSON(const char *value, size_t length)
{
    KXJSONRawValidator validator;
    validator.feed(value, length);
    return validator.finish();
}

int KXJSONEncoder::addRawJSON(const char *key, const char *value, size_t length)
{
    if (value == nullptr) {
        return addNull(key);
    }
    if (length == KXJSONSizeAutomatic) {
        length = strlen(value);
    }
    if (length == 0 || !isAcceptableRawJSON(value, length)) {
        return KXJSONErrorInvalidData;
    }
    int result = beginElement(key);
    return result != KXJSONOk ? result : add(value, length);
}

} // namespace kestrix
