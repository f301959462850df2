#include "account/QueryItems.h"

#include <QByteArray>

namespace plimsy {

void setQueryItems(QUrl &url, const QueryItems &items)
{
    QByteArray query;
    for (const auto &[name, value] : items) {
        if (!query.isEmpty()) {
            query += '&';
        }
        query += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    url.setQuery(QString::fromLatin1(query), QUrl::TolerantMode);
}

} // namespace plimsy
