#include "crashreporter/core/KXJSONRawValidator.h"

#include "crashreporter/core/KXHexDigit.h"
#include "crashreporter/core/KXUTF8.h"

namespace kestrix {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Printable ASCII that stands for itself in a string: most of any document.
bool isPlainStringByte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x80 && c != '"' && c != '\\';
}

} // namespace

void KXJSONRawValidator::feed(const char *text, size_t length)
{
    if (m_state == State::Failed) {
        return;
    }
    size_t i = 0;
    while (i < length) {
        if (m_state == State::String && m_utf8Length == 0 && !m_expectLowSurrogate) {
            while (i < length && isPlainStringByte(text[i])) {
                i++;
            }
            if (i == length) {
                break;
            }
        }
        if (!step(text[i])) {
            m_state = State::Failed;
            break;
        }
        i++;
    }
    m_offset += i;
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

bool KXJSONRawValidator::stepInString(unsigned char c)
{
    if (m_utf8Length > 0) {
        if (!kxutf8Continues(m_utf8Lead, m_utf8Position, c)) {
            return false;
        }
        if (++m_utf8Position == m_utf8Length) {
            m_utf8Length = 0;
        }
        return true;
    }
    if (m_expectLowSurrogate && c != '\\') {
        return false;
    }
    if (c == '"') {
        m_state = m_stringIsKey ? State::Colon : State::AfterValue;
    } else if (c == '\\') {
        m_state = State::Escape;
    } else if (c < 0x20) {
        return false;
    } else if (c >= 0x80) {
        m_utf8Length = kxutf8SequenceLength(c);
        m_utf8Lead = c;
        m_utf8Position = 1;
        return m_utf8Length != 0;
    }
    return true;
}

bool KXJSONRawValidator::endEscapedUnit()
{
    m_state = State::String;
    if (!m_refuseLoneSurrogates) {
        return true;
    }
    const bool isHigh = m_unit >= 0xD800 && m_unit <= 0xDBFF;
    const bool isLow = m_unit >= 0xDC00 && m_unit <= 0xDFFF;
    if (m_expectLowSurrogate) {
        m_expectLowSurrogate = false;
        return isLow;
    }
    m_expectLowSurrogate = isHigh;
    return !isLow;
}

bool KXJSONRawValidator::step(char c)
{
    switch (m_state) {
    case State::String:
        return stepInString(static_cast<unsigned char>(c));
    case State::Escape:
        if (c == 'u') {
            m_state = State::Unicode;
            m_hexLeft = 4;
            m_unit = 0;
            return true;
        }
        m_state = State::String;
        return !m_expectLowSurrogate
               && (c == '"' || c == '\\' || c == '/' || c == 'b' || c == 'f' || c == 'n' || c == 'r' || c == 't');
    case State::Unicode: {
        const int digit = kxhexDigitValue(c);
        if (digit < 0) {
            return false;
        }
        m_unit = static_cast<uint16_t>(m_unit * 16 + digit);
        return --m_hexLeft > 0 || endEscapedUnit();
    }
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

} // namespace kestrix
