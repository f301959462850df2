#include "forge/AnyEncodable.h"

#include <QJsonArray>

namespace plimsy {

QString convertToSnakeCase(const QString &key)
{
    qsizetype begin = 0;
    qsizetype end = key.size();
    while (begin < end && key[begin] == u'_') {
        ++begin;
    }
    while (end > begin && key[end - 1] == u'_') {
        --end;
    }
    if (begin == end) {
        return key;
    }
    QStringList words;
    qsizetype wordStart = begin;
    for (qsizetype i = begin + 1; i < end; ++i) {
        const bool upper = key[i].isUpper();
        const bool previousUpper = key[i - 1].isUpper();
        const bool nextLower = i + 1 < end && key[i + 1].isLower();
        // "fooBar": a capital after a small letter; "URLAlias": the last capital of a run before a small one.
        if (upper && (!previousUpper || nextLower)) {
            words.append(key.mid(wordStart, i - wordStart));
            wordStart = i;
        }
    }
    words.append(key.mid(wordStart, end - wordStart));
    return key.left(begin) + words.join(u'_').toLower() + key.mid(end);
}

QJsonValue snakeCaseKeys(const QJsonValue &value)
{
    if (value.isObject()) {
        QJsonObject converted;
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            converted.insert(convertToSnakeCase(it.key()), snakeCaseKeys(it.value()));
        }
        return converted;
    }
    if (value.isArray()) {
        QJsonArray converted;
        for (const QJsonValue &element : value.toArray()) {
            converted.append(snakeCaseKeys(element));
        }
        return converted;
    }
    return value;
}

} // namespace plimsy
