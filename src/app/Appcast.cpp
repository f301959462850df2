#include "app/Appcast.h"

#include <QXmlStreamReader>

namespace plimsy::Appcast {

namespace {

AppcastItem readItem(QXmlStreamReader &reader)
{
    AppcastItem item;
    QString build;
    QString link;
    while (reader.readNextStartElement()) {
        if (reader.name() == u"link" && reader.namespaceUri().isEmpty()) {
            link = reader.readElementText().trimmed();
        } else if (reader.name() == u"enclosure" && reader.namespaceUri().isEmpty()) {
            const QXmlStreamAttributes attributes = reader.attributes();
            build = attributes.value(QLatin1String(NamespaceURI), QLatin1String("version")).toString().trimmed();
            item.shortVersion =
                attributes.value(QLatin1String(NamespaceURI), QLatin1String("shortVersionString")).toString();
            reader.skipCurrentElement();
        } else {
            reader.skipCurrentElement();
        }
    }
    qsizetype suffix = 0;
    item.build = QVersionNumber::fromString(build, &suffix);
    if (item.build.isNull() || suffix != build.size()) {
        throw AppcastError("An item of the update feed has no build number.");
    }
    item.page = QUrl(link, QUrl::StrictMode);
    // The page is opened in the browser: only a secure one is offered.
    if (!item.page.isValid() || item.page.scheme() != u"https" || item.page.host().isEmpty()) {
        throw AppcastError("An item of the update feed has no secure download page.");
    }
    if (item.shortVersion.isEmpty()) {
        item.shortVersion = build;
    }
    return item;
}

} // namespace

std::optional<AppcastItem> newestItem(const QByteArray &document)
{
    QXmlStreamReader reader(document);
    if (!reader.readNextStartElement() || reader.name() != u"rss") {
        throw AppcastError("The update feed is no RSS document.");
    }
    std::optional<AppcastItem> newest;
    while (reader.readNextStartElement()) {
        if (reader.name() != u"channel") {
            reader.skipCurrentElement();
            continue;
        }
        while (reader.readNextStartElement()) {
            if (reader.name() != u"item") {
                reader.skipCurrentElement();
                continue;
            }
            AppcastItem item = readItem(reader);
            if (!newest || item.build > newest->build) {
                newest = std::move(item);
            }
        }
    }
    if (reader.hasError()) {
        throw AppcastError("The update feed cannot be read: " + reader.errorString().toStdString());
    }
    return newest;
}

} // namespace plimsy::Appcast
