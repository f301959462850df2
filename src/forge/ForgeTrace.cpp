#include "forge/ForgeTrace.h"

#include "core/Logger.h"
#include "platform/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBoundaryFinder>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace plimsy::ForgeTrace {

namespace {

const QString Hidden = QStringLiteral("<HIDDEN>");

void logTrace(const QString &text)
{
    Logger::shared().log(text, QStringLiteral("Plimsy"));
}

bool isVerbose()
{
    return UserDefaults::standard().boolValue(QString(VerboseLoggingKey));
}

bool isCredentialHeader(const QByteArray &name)
{
    static const QList<QByteArray> credentials{"authorization", "proxy-authorization", "cookie", "set-cookie"};
    return credentials.contains(name.toLower());
}

// Paths whose bodies never reach the log, whatever the settings say.
bool isSecretBodyPath(const QString &path)
{
    const QString plain = path.left(path.indexOf(u'?'));
    static const QRegularExpression secret(
        QStringLiteral("(^|/)sites(/|$)|/logs/[^/]+$|/commands$|/ssh-keys$|/nginx$|/environment$"));
    return secret.match(plain).hasMatch();
}

// The first `count` user-perceived characters; all of them for a negative count.
QString firstCharacters(const QString &text, int count)
{
    if (count < 0) {
        return text;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (int i = 0; i < count && end >= 0 && end < text.size(); ++i) {
        end = finder.toNextBoundary();
    }
    return end < 0 ? text : text.left(end);
}

QString withHiddenQueryValues(const QString &address)
{
    const QUrl url(address);
    if (!url.isValid() || !url.hasQuery()) {
        return address;
    }
    QStringList items;
    for (const auto &[name, value] : QUrlQuery(url).queryItems(QUrl::FullyEncoded)) {
        items << name + u'=' + Hidden;
    }
    return url.toString(QUrl::RemoveQuery | QUrl::FullyEncoded) + u'?' + items.join(u'&');
}

QJsonValue redacted(const QJsonValue &value, bool inWebhook);

QJsonObject redacted(const QJsonObject &object, bool inWebhook)
{
    inWebhook = inWebhook || object.value(QStringLiteral("type")).toString() == QLatin1String("webhooks");
    QJsonObject result;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() == QLatin1String("deployment_url") && it.value().isString()) {
            result.insert(it.key(), withHiddenQueryValues(it.value().toString()));
        } else if (inWebhook && it.key() == QLatin1String("url") && it.value().isString()) {
            result.insert(it.key(), Hidden);
        } else {
            result.insert(it.key(), redacted(it.value(), inWebhook));
        }
    }
    return result;
}

QJsonValue redacted(const QJsonValue &value, bool inWebhook)
{
    if (value.isObject()) {
        return redacted(value.toObject(), inWebhook);
    }
    if (value.isArray()) {
        QJsonArray result;
        for (const QJsonValue &element : value.toArray()) {
            result.append(redacted(element, inWebhook));
        }
        return result;
    }
    return value;
}

QString bodyBlock(const QByteArray &data, const QString &path)
{
    if (const std::optional<QString> text = loggableBody(data, path)) {
        return *text;
    }
    return QStringLiteral("<body not logged, %1 bytes>").arg(data.size());
}

} // namespace

std::optional<QString> utf8Text(const QByteArray &data)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

std::optional<QString> loggableBody(const QByteArray &data, const QString &path, int limit)
{
    if (isSecretBodyPath(path) || !isVerbose()) {
        return std::nullopt;
    }
    const std::optional<QString> text = utf8Text(data);
    if (!text) {
        return QStringLiteral("Can't render body; not utf8 encoded");
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError) {
        return firstCharacters(*text, limit);
    }
    const QJsonDocument shown = document.isObject() ? QJsonDocument(redacted(document.object(), false))
                                                    : QJsonDocument(redacted(document.array(), false).toArray());
    // Written as it came unless something had to be hidden.
    return firstCharacters(shown == document ? *text : QString::fromUtf8(shown.toJson(QJsonDocument::Compact)), limit);
}

void logRequest(const QNetworkRequest &request, const QByteArray &method, const QByteArray &body, const QString &path)
{
    const QUrl url = request.url();
    QString trace = QStringLiteral("\n---------- OUT ---------->\n") + url.toString() + QStringLiteral("\n\n")
                    + QString::fromLatin1(method) + u' ' + url.path(QUrl::FullyDecoded) + u'?'
                    + url.query(QUrl::FullyDecoded) + QStringLiteral(" HTTP/1.1\n") + QStringLiteral("Host: ")
                    + url.host() + u'\n';
    for (const QByteArray &name : request.rawHeaderList()) {
        const QString value = isCredentialHeader(name) ? Hidden : QString::fromUtf8(request.rawHeader(name));
        trace += QString::fromLatin1(name) + QStringLiteral(": ") + value + u'\n';
    }
    if (!body.isEmpty()) {
        trace += u'\n' + bodyBlock(body, path) + u'\n';
    }
    trace += QStringLiteral("\n------------------------->\n");
    logTrace(trace);
}

void logResponse(const HttpResponse &response, const QString &path)
{
    const QUrl &url = response.url;
    QString trace = QStringLiteral("\n<---------- IN ----------\n");
    if (!url.isEmpty()) {
        trace += url.toString() + QStringLiteral("\n\n");
    }
    trace += QStringLiteral("HTTP %1 ").arg(response.statusCode) + url.path(QUrl::FullyDecoded) + u'?'
             + url.query(QUrl::FullyDecoded) + u'\n';
    if (!url.host().isEmpty()) {
        trace += QStringLiteral("Host: ") + url.host() + u'\n';
    }
    auto headers = response.headers;
    std::stable_sort(headers.begin(), headers.end(), [](const auto &a, const auto &b) {
        return a.first.compare(b.first, Qt::CaseInsensitive) < 0;
    });
    for (const auto &[name, value] : headers) {
        trace += QString::fromLatin1(name) + QStringLiteral(": ")
                 + (isCredentialHeader(name) ? Hidden : QString::fromUtf8(value)) + u'\n';
    }
    trace += u'\n' + (response.body.isEmpty() ? QString() : bodyBlock(response.body, path)) + u'\n';
    trace += QStringLiteral("<------------------------\n");
    logTrace(trace);
}

} // namespace plimsy::ForgeTrace
