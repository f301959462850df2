#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrix {

// Checks, piece by piece and without allocating, that text is one JSON value by the grammar:
// objects with string keys, arrays, strings of well-formed UTF-8 with valid escapes, numbers, true,
// false and null, with their separators, and nothing but blanks after it. Libc only and safe in a
// signal handler, so the crash core and the readers of answers from the network share it.
class KXJSONRawValidator
{
public:
    // The grammar lets a \u escape name one half of a surrogate pair alone, and Qt writes unpaired
    // halves of a string that way, so the crash core takes them; text from elsewhere can be held to
    // whole pairs.
    enum class LoneSurrogates : uint8_t
    {
        Accepted,
        Refused,
    };

    explicit KXJSONRawValidator(LoneSurrogates loneSurrogates = LoneSurrogates::Accepted)
        : m_refuseLoneSurrogates(loneSurrogates == LoneSurrogates::Refused)
    {
    }

    void feed(const char *text, size_t length);
    bool finish() const;
    // The bytes taken so far; once failed, the offset of the byte that broke the grammar.
    size_t offset() const { return m_offset; }

private:
    enum class State : uint8_t
    {
        Value,      // a value must come
        ValueOrEnd, // right after "["
        KeyOrEnd,   // right after "{"
        Key,        // after "," in an object
        Colon,
        AfterValue, // "," or a closing bracket, or at the top only blanks
        String,
        Escape,
        Unicode,
        Literal,
        NumberMinus,
        NumberZero,
        NumberInteger,
        NumberPoint,
        NumberFraction,
        NumberE,
        NumberExponentSign,
        NumberExponent,
        Failed,
    };

    bool step(char c);
    bool stepInString(unsigned char c);
    bool endEscapedUnit();
    bool continueNumber(char c);
    bool beginValue(char c);
    bool push(bool isObject);
    bool close(char c);
    bool topIsObject() const;
    static bool isCompleteNumber(State state);

    static constexpr int MaxDepth = 512;
    uint64_t m_kinds[MaxDepth / 64] = {}; // bit set: the open bracket at that depth is "{"
    size_t m_offset = 0;
    int m_depth = 0;
    State m_state = State::Value;
    bool m_stringIsKey = false;
    bool m_refuseLoneSurrogates = false;
    bool m_expectLowSurrogate = false; // a high half came: its low half must follow at once
    int m_hexLeft = 0;
    uint16_t m_unit = 0;          // the \u escape under way
    unsigned char m_utf8Lead = 0; // the UTF-8 sequence under way in a string
    size_t m_utf8Position = 0;    // how many of its bytes came
    size_t m_utf8Length = 0;
    const char *m_literal = nullptr; // the rest of "true", "false" or "null" still to come
};

} // namespace kestrix
