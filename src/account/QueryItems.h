#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <utility>

namespace plimsy {

using QueryItems = QList<std::pair<QString, QString>>;

// Sets the URL's query to the items in order, every name and value percent-encoded in full, so that
// "&", "=", "+" and "#" in a value reach the server as they are.
void setQueryItems(QUrl &url, const QueryItems &items);

} // namespace plimsy
