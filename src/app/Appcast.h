#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVersionNumber>

#include <optional>
#include <stdexcept>

namespace plimsy {

// The update feed: an RSS document whose items are the published versions. Each item has a `link` to
// the https page that offers the download and an `enclosure` carrying the build number and the version
// shown to users as attributes of Plimsy's own namespace:
//
//   <rss version="2.0" xmlns:plimsy="https://plimsy.tindrel.com/xml-namespaces/appcast">
//     <channel><item>
//       <title>Plimsy 1.1</title>
//       <link>https://plimsy.tindrel.com/download</link>
//       <enclosure url="https://plimsy.tindrel.com/download" plimsy:version="10" plimsy:shortVersionString="1.1"/>
//     </item></channel>
//   </rss>
struct AppcastItem
{
    // Compared numerically, part by part: build 10 is newer than build 9.
    QVersionNumber build;
    QString shortVersion;
    QUrl page;
};

// A feed that cannot be read, in words for the user.
class AppcastError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

namespace Appcast {

inline constexpr char NamespaceURI[] = "https://plimsy.tindrel.com/xml-namespaces/appcast";

// The item with the highest build; none for a feed without items. Throws AppcastError when the document
// is no RSS feed or an item lacks a build number or an https page.
std::optional<AppcastItem> newestItem(const QByteArray &document);

} // namespace Appcast

} // namespace plimsy
