#pragma once

#include "crashreporter/core/KXJSONRawValidator.h"

#include <cstddef>
#include <cstdint>

namespace kestrix {

// Error codes of the encoder; 0 is success. Anything the add-data callback returns is passed on.
enum KXJSONError : int
{
    KXJSONOk = 0,
    KXJSONErrorInvalidCharacter = 1,
    KXJSONErrorCannotAddData = 2,
    KXJSONErrorIncomplete = 3,
    KXJSONErrorInvalidData = 4,
};

// Text of an error code, "(unknown error)" for codes the encoder does not know.
const char *kxjsonStringForError(int error);

// Receives the encoded text; returns 0 on success or an error code that stops the operation.
using KXJSONAddDataFunc = int (*)(const char *data, size_t length, void *userData);

// A length of all ones means "up to the terminating zero".
inline constexpr size_t KXJSONSizeAutomatic = static_cast<size_t>(-1);

// Level 0 is the top and takes no key, so at most this many minus one containers nest.
inline constexpr int KXJSONMaxContainerLevel = 200;

// Streaming JSON encoder for the crash path: no heap, no locks, async-signal-safe. Every buffer it
// needs lives on the caller's stack. Operations return 0 or the first error; the encoder keeps no
// error state, so a caller may stop or go on after a failure. Strings come out as well-formed UTF-8
// whatever bytes they are given (a thread name cut mid-character, say): each broken sequence
// becomes U+FFFD, so one byte cannot make the whole report unreadable.
class KXJSONEncoder
{
public:
    void beginEncoding(bool prettyPrint, KXJSONAddDataFunc addData, void *userData);
    // Ends every open container.
    int endEncoding();

    int beginObject(const char *key);
    int beginArray(const char *key);
    int endContainer();

    int addBool(const char *key, bool value);
    int addNull(const char *key);
    int addInteger(const char *key, int64_t value);
    int addUInteger(const char *key, uint64_t value);
    // Non-finite values have no JSON form and are written as null.
    int addDouble(const char *key, double value);
    int addString(const char *key, const char *value, size_t length = KXJSONSizeAutomatic);

    int beginString(const char *key);
    int appendStringElement(const char *value, size_t length = KXJSONSizeAutomatic);
    int endString();

    // Bytes as upper-case hexadecimal inside a string.
    int addData(const char *key, const char *value, size_t length);
    int beginData(const char *key);
    int appendData(const char *value, size_t length);
    int endData();

    // Writes already encoded JSON unchanged. Refused (code 4) unless it is one valid JSON value, so
    // that a bad element cannot break the rest of the document.
    int addRawJSON(const char *key, const char *value, size_t length = KXJSONSizeAutomatic);

    // Raw JSON streamed in pieces, for text a KXJSONRawValidator has already accepted whole.
    int beginRawJSON(const char *key) { return beginElement(key); }
    int appendRawJSON(const char *value, size_t length) { return add(value, length); }

    int containerLevel() const { return m_containerLevel; }

    // Where the encoder stands between two operations. Going back to a mark, once the text written
    // since has been cut off, lets a caller drop an operation that never finished.
    struct Mark
    {
        int containerLevel;
        bool containerIsEmpty;
    };
    Mark mark() const { return {m_containerLevel, m_containerIsEmpty}; }
    void rewind(const Mark &mark)
    {
        m_containerLevel = mark.containerLevel;
        m_containerIsEmpty = mark.containerIsEmpty;
        m_partialLength = 0;
    }

    // The number formats of the encoder, for other crash-time text. Both write a terminating zero
    // and return the length; `out` needs 32 bytes for doubles and 17 for hexadecimal.
    static size_t formatDouble(double value, int significantDigits, char *out);
    static size_t formatHex(uint64_t value, int minDigits, char *out);

    // Whether `value` is one valid JSON value, as addRawJSON accepts.
    static bool isAcceptableRawJSON(const char *value, size_t length);

private:
    int add(const char *data, size_t length);
    int addText(const char *text);
    int beginElement(const char *key);
    int beginContainer(const char *key, bool isObject);
    int addDecimal(const char *key, uint64_t magnitude, bool isNegative);
    int addEscapedString(const char *value, size_t length);
    // Ends the string under way: a UTF-8 sequence left unfinished becomes U+FFFD.
    int finishEscapedString();
    int addQuotedEscapedString(const char *value, size_t length);
    int addIndent();

    KXJSONAddDataFunc m_addData = nullptr;
    void *m_userData = nullptr;
    int m_containerLevel = 0;
    char m_isObject[KXJSONMaxContainerLevel] = {};
    bool m_containerIsEmpty = true;
    bool m_prettyPrint = false;
    // A UTF-8 sequence begun at the end of one piece of a string, to be finished by the next.
    unsigned char m_partial[4] = {};
    size_t m_partialLength = 0;
    size_t m_partialNeeded = 0;
};

} // namespace kestrix
