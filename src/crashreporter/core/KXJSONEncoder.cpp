#include "crashreporter/core/KXJSONEncoder.h"

#include <cmath>
#include <cstring>

namespace kestrix {

namespace {

constexpr size_t StringChunkSize = 512;
constexpr size_t EscapeFlushThreshold = 507;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

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
    bool needsEscape = false;
    for (size_t i = 0; i < length; i++) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        if (c < 0x20 || c == '\\' || c == '"') {
            needsEscape = true;
            break;
        }
    }
    if (!needsEscape) {
        return add(value, length);
    }
    static const char hex[] = "0123456789ABCDEF";
    char buffer[StringChunkSize];
    size_t used = 0;
    int result = KXJSONOk;
    for (size_t i = 0; i < length; i++) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
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
            } else {
                buffer[used++] = static_cast<char>(c);
            }
        }
        if (used >= EscapeFlushThreshold) {
            if ((result = add(buffer, used)) != KXJSONOk) {
                return result;
            }
            used = 0;
        }
    }
    return used > 0 ? add(buffer, used) : KXJSONOk;
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
    return add("\"", 1);
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
    return add("\"", 1);
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

void KXJSONRawValidator::feed(const char *text, size_t length)
{
    for (size_t i = 0; i < length && m_state != State::Failed; i++) {
        if (!step(text[i])) {
            m_state = State::Failed;
        }
    }
}

bool KXJSONRawValidator::finish() const
{
    return m_depth == 0 && (m_state == State::AfterValue || isCompleteNumber(m_state));
}

bool KXJSONRawValidator::isCompleteNumber(State state)
{
    return state == State::NumberZero || state == State::NumberInteger || state == State::NumberFraction
           || state == State::NumberExponent;
}

bool KXJSONRawValidator::topIsObject() const
{
    const int top = m_depth - 1;
    return ((m_kinds[top / 64] >> (top % 64)) & 1) != 0;
}

bool KXJSONRawValidator::push(bool isObject)
{
    if (m_depth >= MaxDepth) {
        return false;
    }
    if (isObject) {
        m_kinds[m_depth / 64] |= uint64_t(1) << (m_depth % 64);
    } else {
        m_kinds[m_depth / 64] &= ~(uint64_t(1) << (m_depth % 64));
    }
    m_depth++;
    m_state = isObject ? State::KeyOrEnd : State::ValueOrEnd;
    return true;
}

bool KXJSONRawValidator::close(char c)
{
    if (m_depth == 0 || topIsObject() != (c == '}')) {
        return false;
    }
    m_depth--;
    m_state = State::AfterValue;
    return true;
}

bool KXJSONRawValidator::beginValue(char c)
{
    switch (c) {
    case '{':
    case '[':
        return push(c == '{');
    case '"':
        m_state = State::String;
        m_stringIsKey = false;
        return true;
    case '-':
        m_state = State::NumberMinus;
        return true;
    case '0':
        m_state = State::NumberZero;
        return true;
    case 't':
        m_literal = "rue";
        break;
    case 'f':
        m_literal = "alse";
        break;
    case 'n':
        m_literal = "ull";
        break;
    default:
        if (c >= '1' && c <= '9') {
            m_state = State::NumberInteger;
            return true;
        }
        return false;
    }
    m_state = State::Literal;
    return true;
}

// Takes `c` into the number under way; false when the number has ended before it.
bool KXJSONRawValidator::continueNumber(char c)
{
    const bool isDigit = c >= '0' && c <= '9';
    switch (m_state) {
    case State::NumberMinus:
        if (!isDigit) {
            return false;
        }
        m_state = c == '0' ? State::NumberZero : State::NumberInteger;
        return true;
    case State::NumberZero:
    case State::NumberInteger:
        if (isDigit && m_state == State::NumberInteger) {
            return true;
        }
        if (c == '.') {
            m_state = State::NumberPoint;
            return true;
        }
        break;
    case State::NumberPoint:
        if (isDigit) {
            m_state = State::NumberFraction;
        }
        return isDigit;
    case State::NumberFraction:
        if (isDigit) {
            return true;
        }
        break;
    case State::NumberE:
        if (c == '+' || c == '-' || isDigit) {
            m_state = isDigit ? State::NumberExponent : State::NumberExponentSign;
            return true;
        }
        return false;
    case State::NumberExponentSign:
        if (isDigit) {
            m_state = State::NumberExponent;
        }
        return isDigit;
    case State::NumberExponent:
        return isDigit;
    default:
        return false;
    }
    if (c == 'e' || c == 'E') {
        m_state = State::NumberE;
        return true;
    }
    return false;
}

bool KXJSONRawValidator::step(char c)
{
    switch (m_state) {
    case State::String:
        if (c == '"') {
            m_state = m_stringIsKey ? State::Colon : State::AfterValue;
        } else if (c == '\\') {
            m_state = State::Escape;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
        return true;
    case State::Escape:
        if (c == 'u') {
            m_state = State::Unicode;
            m_hexLeft = 4;
            return true;
        }
        m_state = State::String;
        return c == '"' || c == '\\' || c == '/' || c == 'b' || c == 'f' || c == 'n' || c == 'r' || c == 't';
    case State::Unicode:
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
        m_state = --m_hexLeft == 0 ? State::String : State::Unicode;
        return true;
    case State::Literal:
        if (c != *m_literal) {
            return false;
        }
        m_literal++;
        m_state = *m_literal == 0 ? State::AfterValue : State::Literal;
        return true;
    case State::NumberMinus:
    case State::NumberZero:
    case State::NumberInteger:
    case State::NumberPoint:
    case State::NumberFraction:
    case State::NumberE:
    case State::NumberExponentSign:
    case State::NumberExponent:
        if (continueNumber(c)) {
            return true;
        }
        if (!isCompleteNumber(m_state)) {
            return false;
        }
        m_state = State::AfterValue; // the number ended: `c` belongs to what follows
        break;
    default:
        break;
    }
    if (isBlank(c)) {
        return true;
    }
    switch (m_state) {
    case State::Value:
        return beginValue(c);
    case State::ValueOrEnd:
        return c == ']' ? close(c) : beginValue(c);
    case State::KeyOrEnd:
    case State::Key:
        if (c == '}' && m_state == State::KeyOrEnd) {
            return close(c);
        }
        m_state = State::String;
        m_stringIsKey = true;
        return c == '"';
    case State::Colon:
        m_state = State::Value;
        return c == ':';
    case State::AfterValue:
        if (m_depth == 0) {
            return false; // something follows the value
        }
        if (c == ',') {
            m_state = topIsObject() ? State::Key : State::Value;
            return true;
        }
        return (c == ']' || c == '}') && close(c);
    default:
        return false;
    }
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
