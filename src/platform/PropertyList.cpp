#include "platform/PropertyList.h"

#include <QDateTime>
#include <QFile>
#include <QXmlStreamReader>

namespace plimsy::PropertyList {

namespace {

struct Failure
{
};

class Reader
{
public:
    explicit Reader(QIODevice &device)
        : m_xml(&device)
    {
    }

    QVariantMap document()
    {
        if (!nextElement() || m_xml.name() != u"plist" || !nextElement() || m_xml.name() != u"dict") {
            throw Failure{};
        }
        QVariantMap top = dictionary();
        if (nextElement()) {
            throw Failure{}; // a second value in the plist
        }
        // Past </plist> only blanks, comments and processing instructions may follow: a second
        // <plist> or any other content is refused, not ignored.
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (token == QXmlStreamReader::StartElement
                || (token == QXmlStreamReader::Characters && !m_xml.isWhitespace())) {
                throw Failure{};
            }
        }
        if (m_xml.hasError()) {
            throw Failure{};
        }
        return top;
    }

private:
    // Advances to the next start element; false at the end of the enclosing element.
    bool nextElement()
    {
        while (!m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::StartElement:
                return true;
            case QXmlStreamReader::EndElement:
                return false;
            case QXmlStreamReader::Characters:
                if (!m_xml.isWhitespace()) {
                    throw Failure{};
                }
                break;
            case QXmlStreamReader::Invalid:
                throw Failure{};
            default:
                break;
            }
        }
        return false;
    }

    QString text()
    {
        const QString content = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (m_xml.hasError()) {
            throw Failure{};
        }
        return content;
    }

    // Each nested array or dictionary takes a stack frame of the reader: past this depth the list is
    // refused, not read until the stack runs out.
    static constexpr int MaxDepth = 512;

    // Counts one level of nesting for as long as it lives.
    class Level
    {
    public:
        explicit Level(int &depth)
            : m_depth(depth)
        {
            if (++m_depth > MaxDepth) {
                throw Failure{};
            }
        }
        ~Level() { --m_depth; }
        Level(const Level &) = delete;
        Level &operator=(const Level &) = delete;

    private:
        int &m_depth;
    };

    QVariantMap dictionary()
    {
        const Level level(m_depth);
        QVariantMap entries;
        while (nextElement()) {
            if (m_xml.name() != u"key") {
                throw Failure{};
            }
            const QString key = text();
            if (!nextElement()) {
                throw Failure{};
            }
            entries.insert(key, value());
        }
        return entries;
    }

    QVariantList array()
    {
        const Level level(m_depth);
        QVariantList items;
        while (nextElement()) {
            items.append(value());
        }
        return items;
    }

    // A qint64, as stored values have always been read; above its range (plistlib writes up to
    // 2^64 - 1) a quint64.
    static QVariant integer(const QString &text)
    {
        bool ok = false;
        const qint64 number = text.toLongLong(&ok);
        if (ok) {
            return number;
        }
        const quint64 large = text.startsWith(QLatin1Char('-')) ? 0 : text.toULongLong(&ok);
        if (!ok) {
            throw Failure{};
        }
        return large;
    }

    QVariant value()
    {
        const auto name = m_xml.name();
        if (name == u"dict") {
            return dictionary();
        }
        if (name == u"array") {
            return array();
        }
        if (name == u"true" || name == u"false") {
            const bool flag = name == u"true";
            if (nextElement()) {
                throw Failure{};
            }
            return flag;
        }
        if (name == u"string") {
            return text();
        }
        if (name == u"integer") {
            return integer(text().trimmed());
        }
        if (name == u"real") {
            bool ok = false;
            const double number = text().trimmed().toDouble(&ok);
            if (!ok) {
                throw Failure{};
            }
            return number;
        }
        if (name == u"date") {
            const QDateTime date = QDateTime::fromString(text().trimmed(), Qt::ISODate);
            if (!date.isValid()) {
                throw Failure{};
            }
            return date.toUTC();
        }
        if (name == u"data") {
            return QByteArray::fromBase64(text().simplified().remove(QLatin1Char(' ')).toLatin1());
        }
        throw Failure{};
    }

    QXmlStreamReader m_xml;
    int m_depth = 0;
};

} // namespace

std::optional<QVariantMap> readDictionary(QIODevice &device)
{
    try {
        return Reader(device).document();
    } catch (const Failure &) {
        return std::nullopt;
    }
}

std::optional<QVariantMap> readDictionaryFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return readDictionary(file);
}

} // namespace plimsy::PropertyList
