#pragma once

#include "actionbar/FuzzySearch.h"

#include <QAbstractListModel>
#include <QList>

namespace plimsy {

// The palette's rows: the current matches, best first.
class ActionBarListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    void setMatches(QList<FuzzyMatch> matches);
    const QList<FuzzyMatch> &matches() const { return m_matches; }

    int rowCount(const QModelIndex &parent = {}) const override;
    // The row's label ("entity → title") and its icon; the subtitle as tool tip.
    QVariant data(const QModelIndex &index, int role) const override;

    static QString label(const ActionBarItem &item);
    static QIcon symbol(ActionBarCommandType type);

private:
    QList<FuzzyMatch> m_matches;

    Q_DISABLE_COPY_MOVE(ActionBarListModel)
};

} // namespace plimsy
