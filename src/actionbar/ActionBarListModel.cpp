#include "actionbar/ActionBarListModel.h"

#include <QApplication>
#include <QStyle>

namespace plimsy {

namespace {

struct Symbol
{
    const char *themeName;
    QStyle::StandardPixmap fallback;
};

// Icons of the desktop's theme by their freedesktop names, else the style's own.
Symbol symbolOf(ActionBarCommandType type)
{
    using Type = ActionBarCommandType;
    switch (type) {
    case Type::deploySite:
        return {"go-up", QStyle::SP_ArrowUp};
    case Type::editEnv:
    case Type::editNginx:
    case Type::editDeploymentScript:
        return {"document-edit", QStyle::SP_FileDialogDetailedView};
    case Type::viewDeploymentLog:
    case Type::viewSiteLog:
    case Type::viewNginxAccessLogs:
    case Type::viewNginxErrorLogs:
        return {"text-x-generic", QStyle::SP_FileIcon};
    case Type::visitSite:
        return {"applications-internet", QStyle::SP_DriveNetIcon};
    case Type::openForge:
    case Type::openForgeServer:
        return {"emblem-symbolic-link", QStyle::SP_FileLinkIcon};
    case Type::openTerminalForSite:
    case Type::openTerminal:
        return {"utilities-terminal", QStyle::SP_ComputerIcon};
    case Type::rebootPhpForSite:
    case Type::rebootServer:
    case Type::rebootPHP:
    case Type::rebootMySQL:
    case Type::rebootNginx:
    case Type::rebootPostgres:
    case Type::refresh:
        return {"view-refresh", QStyle::SP_BrowserReload};
    case Type::toggleSiteNotifications:
        return {"preferences-desktop-notification", QStyle::SP_MessageBoxInformation};
    case Type::copyIPAddress:
        return {"edit-copy", QStyle::SP_DialogSaveButton};
    case Type::uploadSSHKey:
        return {"dialog-password", QStyle::SP_DialogApplyButton};
    case Type::openPreferences:
        return {"preferences-system", QStyle::SP_FileDialogListView};
    case Type::about:
        return {"help-about", QStyle::SP_MessageBoxInformation};
    case Type::quit:
        return {"application-exit", QStyle::SP_DialogCloseButton};
    }
    return {"", QStyle::SP_FileIcon};
}

} // namespace

void ActionBarListModel::setMatches(QList<FuzzyMatch> matches)
{
    beginResetModel();
    m_matches = std::move(matches);
    endResetModel();
}

int ActionBarListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_matches.size());
}

QVariant ActionBarListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_matches.size()) {
        return {};
    }
    const ActionBarItem &item = m_matches.at(index.row()).item();
    switch (role) {
    case Qt::DisplayRole:
        return label(item);
    case Qt::DecorationRole:
        return item.icon.isNull() ? symbol(item.type) : item.icon;
    case Qt::ToolTipRole:
        return item.subtitle;
    default:
        return {};
    }
}

QString ActionBarListModel::label(const ActionBarItem &item)
{
    return item.entityName.isEmpty() ? item.title : item.entityName + QStringLiteral(" → ") + item.title;
}

QIcon ActionBarListModel::symbol(ActionBarCommandType type)
{
    const Symbol symbol = symbolOf(type);
    return QIcon::fromTheme(QString::fromLatin1(symbol.themeName),
                            QApplication::style()->standardIcon(symbol.fallback));
}

} // namespace plimsy
