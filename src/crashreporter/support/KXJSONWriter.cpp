#include "crashreporter/support/KXJSONWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <cmath>
#include <cstring>
#include <limits>

namespace kestrix {

KXJSONWriter::KXJSONWriter(qsizetype reserve)
{
    m_out.reserve(reserve);
}

void KXJSONWriter::separate(const char *key)
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_hasMember.empty()) {
        if (m_hasMember.back()) {
            m_out += ',';
        }
        m_hasMember.back() = true;
    }
    if (key != nullptr) {
        // Member names are plain literals: nothing to escape.
        m_out += '"';
        m_out += key;
        m_out += "\":";
    }
}

void KXJSONWriter::key(const QString &name)
{
    separate(nullptr);
    writeString(name);
    m_out += ':';
    m_afterKey = true;
}

void KXJSONWriter::beginObject(const char *key)
{
    separate(key);
    m_out += '{';
    m_hasMember.push_back(false);
}

void KXJSONWriter::beginArray(const char *key)
{
    separate(key);
    m_out += '[';
    m_hasMember.push_back(false);
}

void KXJSONWriter::endObject()
{
    m_hasMember.pop_back();
    m_out += '}';
}

void KXJSONWriter::endArray()
{
    m_hasMember.pop_back();
    m_out += ']';
}

void KXJSONWriter::value(const char *key, const QString &text)
{
    separate(key);
    writeString(text);
}

void KXJSONWriter::value(const char *key, bool flag)
{
    separate(key);
    m_out += flag ? "true" : "false";
}

void KXJSONWriter::value(const char *key, qint64 number)
{
    separate(key);
    m_out += QByteArray::number(number);
}

void KXJSONWriter::value(const char *key, const QJsonValue &json)
{
    separate(key);
    writeValue(json);
}

void KXJSONWriter::null(const char *key)
{
    separate(key);
    m_out += "null";
}

void KXJSONWriter::hex(const char *key, uint64_t number)
{
    separate(key);
    m_out += "\"0x";
    m_out += QByteArray::number(static_cast<qulonglong>(number), 16);
    m_out += '"';
}

void KXJSONWriter::optional(const char *key, const std::optional<QString> &text)
{
    if (text) {
        value(key, *text);
    }
}

void KXJSONWriter::optional(const char *key, const std::optional<qint64> &number)
{
    if (number) {
        value(key, *number);
    }
}

void KXJSONWriter::optional(const char *key, const std::optional<bool> &flag)
{
    if (flag) {
        value(key, *flag);
    }
}

QJsonObject KXJSONWriter::object() const
{
    return QJsonDocument::fromJson(m_out).object();
}

void KXJSONWriter::writeString(QStringView text)
{
    static const char hexDigits[] = "0123456789abcdef";
    // Room for the worst case (every character escaped in six bytes), written in place.
    const qsizetype start = m_out.size();
    m_out.resize(start + text.size() * 6 + 2);
    char *out = m_out.data() + start;
    *out++ = '"';
    for (qsizetype i = 0; i < text.size(); i++) {
        char32_t c = text[i].unicode();
        if (c < 0x80) {
            if (c == '"' || c == '\\') {
                *out++ = '\\';
                *out++ = static_cast<char>(c);
            } else if (c < 0x20) {
                memcpy(out, "\\u00", 4);
                out[4] = hexDigits[c >> 4];
                out[5] = hexDigits[c & 0xF];
                out += 6;
            } else {
                *out++ = static_cast<char>(c);
            }
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(static_cast<char16_t>(c), text[++i].unicode());
        } else if (QChar::isSurrogate(c)) {
            c = 0xFFFD; // a lone surrogate has no UTF-8 form
        }
        if (c < 0x800) {
            *out++ = static_cast<char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            *out++ = static_cast<char>(0xE0 | (c >> 12));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            *out++ = static_cast<char>(0xF0 | (c >> 18));
            *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    *out++ = '"';
    m_out.resize(out - m_out.constData());
}

void KXJSONWriter::writeValue(const QJsonValue &json)
{
    switch (json.type()) {
    case QJsonValue::Object: {
        const QJsonObject object = json.toObject();
        m_out += '{';
        bool first = true;
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!first) {
                m_out += ',';
            }
            first = false;
            writeString(it.key());
            m_out += ':';
            writeValue(it.value());
        }
        m_out += '}';
        break;
    }
    case QJsonValue::Array: {
        const QJsonArray array = json.toArray();
        m_out += '[';
        for (qsizetype i = 0; i < array.size(); i++) {
            if (i > 0) {
                m_out += ',';
            }
            writeValue(array.at(i));
        }
        m_out += ']';
        break;
    }
    case QJsonValue::String:
        writeString(json.toString());
        break;
    case QJsonValue::Bool:
        m_out += json.toBool() ? "true" : "false";
        break;
    case QJsonValue::Double: {
        const double number = json.toDouble();
        const qint64 whole = json.toInteger(std::numeric_limits<qint64>::min());
        if (whole != std::numeric_limits<qint64>::min()) {
            m_out += QByteArray::number(whole);
        } else if (std::isfinite(number)) {
            m_out += QByteArray::number(number, 'g', QLocale::FloatingPointShortest);
        } else {
            m_out += "null";
        }
        break;
    }
    default:
        m_out += "null";
        break;
    }
}

} // namespace kestrix
