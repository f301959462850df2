#pragma once

#include <QByteArrayView>
#include <QString>

#include <array>

// A strict pull reader over UTF-8 JSON text, for decoding large answers straight into records without
// building a document first. It reads a plain subset of JSON: no exponents, at most 15 digits in a
// number, no surrogate or noncharacter escapes, no raw control characters, limited nesting, nothing but
// white space around the one top-level value. Meeting anything else, or anything malformed, it fails
// and stays failed; its caller then falls back on the full parser, which has the final say and the
// error messages. Every read returns false once the reader has failed.
namespace plimsy::json {

class JsonReader
{
public:
    enum class Kind
    {
        Object,
        Array,
        String,
        Number,
        Bool,
        Null,
        Other, // not a value: malformed text, or the reader has failed
    };

    explicit JsonReader(QByteArrayView text);

    bool failed() const { return m_failed; }
    // Always false, after marking the reader failed: for callers that meet something they don't read.
    bool fail();

    // The kind of the next value, after skipping white space; consumes nothing.
    Kind peek();

    // Enters an object; then `nextMember` gives each key in turn (its bytes exactly as written, which
    // hold no escape) and false once the object is closed or the reader failed. The member's value must
    // be read or skipped before the next call.
    bool beginObject();
    bool nextMember(QByteArrayView &key);
    // Enters an array; then `nextElement` is true before each element, false once closed or failed.
    bool beginArray();
    bool nextElement();

    bool readString(QString &value);
    bool readBool(bool &value);
    // A whole number written without fraction or exponent.
    bool readInteger(qint64 &value);
    bool readNull();
    // Checks and passes over the next value, whatever it holds.
    bool skipValue();

    // True when only white space is left: the whole text was one value.
    bool atEnd();

private:
    bool skipSpace(); // false at the end of the text
    bool expect(char c);
    // Past the comma before the container's next member or element; false once `close` ends it.
    bool next(char close);
    // Passes over a string's body after its opening quote; `plain` tells whether it held only ASCII
    // without escapes, `end` points at its closing quote.
    bool scanString(bool &plain, const char *&end);
    bool readEscaped(const char *begin, const char *end, QString &value);
    bool scanNumber(bool &whole);
    bool literal(const char *word, qsizetype size);
    bool enter();
    void readPlain(const char *begin, const char *end, QString &value);

    const char *m_at;
    const char *m_end;
    int m_depth = 0;
    bool m_first = false; // just inside a container: no comma before the next member or element
    bool m_failed = false;
    // Short texts met lately, by a hash of their bytes: the values listings repeat in every record
    // ("installed", "forge", "sites") share one string instead of allocating their own.
    struct Interned
    {
        QByteArrayView bytes;
        QString text;
    };
    std::array<Interned, 64> m_interned;
};

} // namespace plimsy::json
