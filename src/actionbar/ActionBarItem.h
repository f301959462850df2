#pragma once

#include "actionbar/ActionBarCommandType.h"
#include "actionbar/SearchText.h"
#include "core/Account.h"

#include <QIcon>
#include <QString>

#include <memory>
#include <optional>

namespace plimsy {

// One command of the palette on one server or site (or a global one).
struct ActionBarItem
{
    QString id; // persisted by the recent-commands store
    ActionBarCommandType type = ActionBarCommandType::refresh;
    QString title;
    QString subtitle;
    QIcon icon; // null: the type's own symbol is shown
    QString searchableText;
    QString entityName; // empty for global items
    std::shared_ptr<const Account> account;
    std::optional<qint64> serverId;
    std::optional<qint64> siteId;

    // The searchable text and entity name prepared for matching, made once when the list is built.
    std::shared_ptr<const SearchText> searchKey;
    std::shared_ptr<const SearchText> entityKey;

    // Fills the two keys from the texts.
    void prepareForSearch()
    {
        searchKey = std::make_shared<const SearchText>(searchableText);
        entityKey = std::make_shared<const SearchText>(entityName);
    }
};

} // namespace plimsy
