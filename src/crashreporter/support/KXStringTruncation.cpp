#include "crashreporter/support/KXStringTruncation.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTextBoundaryFinder>

namespace kestrix {

QString kxTruncateString(KXTruncateContext &context, const QString &text)
{
    if (text.size() <= context.maxLength) {
        return text;
    }
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    graphemes.setPosition(context.maxLength);
    const qsizetype cut = graphemes.isAtBoundary() ? context.maxLength : graphemes.toPreviousBoundary();
    const qsizetype removed = text.size() - cut;
    context.stringsTruncated++;
    context.lengthTruncated += removed;
    return text.left(cut) + QStringLiteral("\n***%1 CHARS TRUNCATED***").arg(removed);
}

QJsonValue kxTruncateStrings(KXTruncateContext &context, const QJsonValue &value)
{
    if (value.isString()) {
        return kxTruncateString(context, value.toString());
    }
    if (value.isArray()) {
        QJsonArray result;
        for (const QJsonValue &element : value.toArray()) {
            result.append(kxTruncateStrings(context, element));
        }
        return result;
    }
    if (value.isObject()) {
        QJsonObject result;
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            result.insert(it.key(), kxTruncateStrings(context, it.value()));
        }
        return result;
    }
    return value;
}

QJsonObject kxMergeObjects(const QJsonObject &first, const QJsonObject &second)
{
    if (first.isEmpty()) {
        return second;
    }
    if (second.isEmpty()) {
        return first;
    }
    QJsonObject result = second;
    for (auto it = first.begin(); it != first.end(); ++it) {
        const QJsonValue existing = result.value(it.key());
        if (it.value().isObject() && existing.isObject()) {
            result.insert(it.key(), kxMergeObjects(it.value().toObject(), existing.toObject()));
        } else {
            result.insert(it.key(), it.value());
        }
    }
    return result;
}

} // namespace kestrix
