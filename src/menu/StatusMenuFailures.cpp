// Failures shown to the user: the error alert, which a newer one replaces and which closes itself
// after a while, and the error marker at the top of the menu.
#include "core/RunDetached.h"
#include "menu/MenuAction.h"
#include "menu/MenuBarIconManager.h"
#include "menu/MenuLog.h"
#include "menu/MenuTags.h"
#include "menu/StatusMenuController.h"
#include "platform/DockVisibilityManager.h"

#include <QAction>
#include <QMenu>
#include <QTimer>

namespace plimsy {

void StatusMenuController::showErrorAlert(const Account &account,
                                          const QString &title,
                                          const std::optional<QString> &detail)
{
    showAlert(Alert::Style::Warning, account, title, detail);
}

void StatusMenuController::showInformationalAlert(const Account &account,
                                                  const QString &title,
                                                  const std::optional<QString> &detail)
{
    showAlert(Alert::Style::Informational, account, title, detail);
}

void StatusMenuController::showAlert(Alert::Style style,
                                     const Account &account,
                                     const QString &title,
                                     const std::optional<QString> &detail)
{
    plimsyLog(title);
    if (detail) {
        plimsyLog(*detail);
    }
    QTimer::singleShot(0, this, [this, style, name = account.name, title, detail] {
        if (m_alertWindow) {
            // A newer alert replaces the one on screen.
            m_alerts->close(*m_alertWindow);
        }
        QString informative;
        if (detail && name) {
            // "The request timed out." reads "The request timed out for account: Acme", without a stop inside.
            const bool endsInStop = detail->endsWith(QLatin1Char('.')) && !detail->endsWith(QLatin1String(".."));
            informative = (endsInStop ? detail->chopped(1) : *detail) + QStringLiteral(" for account: ") + *name;
        } else if (detail) {
            informative = *detail;
        }
        DockVisibilityManager::countWindowOpened();
        m_alertWindow = m_alerts->show({title, informative, style, {}});
        runDetached(runTimer(&StatusMenuController::m_alertGeneration,
                             ++m_alertGeneration,
                             AlertDisplayInterval,
                             false,
                             &StatusMenuController::closeAlertWindow));
    });
}

void StatusMenuController::closeAlertWindow()
{
    ++m_alertGeneration;
    if (m_alertWindow) {
        // Only our own alert: a confirmation of another action on screen is left alone.
        m_alerts->close(*m_alertWindow);
    }
}

void StatusMenuController::handleAlertAnswered(AlertPresenter::AlertId id)
{
    if (!m_alertWindow || *m_alertWindow != id) {
        return;
    }
    m_alertWindow.reset();
    ++m_alertGeneration; // answered: its timer has nothing left to close
    DockVisibilityManager::countWindowClosed();
}

void StatusMenuController::reportError(const QString &title, const std::optional<QString> &detail)
{
    plimsyLog(title);
    if (detail) {
        plimsyLog(*detail);
    }
    iconManager().hasError = true;
    iconManager().apply(iconManager().currentState());
    if (m_hasErrors) {
        return;
    }
    m_hasErrors = true;
    QAction *marker = MenuItems::makeItem(m_statusMenu.get(), MenuItems::literalTitle(title), MenuTags::ErrorMarker);
    MenuActions::connect(marker, this, &StatusMenuController::showLogsFolder);
    MenuItems::insertItem(m_statusMenu.get(), 0, marker);
    MenuItems::insertItem(m_statusMenu.get(), 1, MenuItems::makeSeparator(m_statusMenu.get(), MenuTags::ErrorMarker));
}

void StatusMenuController::reportError(const Account &account,
                                       const QString &title,
                                       const std::optional<QString> &detail)
{
    reportError(title, detail);
    // With several accounts the marker alone does not say which one failed: its own submenu does.
    const QList<QAction *> items = m_statusMenu->actions();
    for (QAction *item : items) {
        if (MenuItems::tag(item) != MenuTags::AccountItem || !item->menu() || !account.uuid
            || MenuItems::representedObject<QString>(item) != account.uuid) {
            continue;
        }
        QAction *failure = MenuItems::makeItem(item->menu(), MenuItems::literalTitle(title), MenuTags::AccountFailure);
        MenuActions::connect(failure, this, &StatusMenuController::showLogsFolder);
        MenuItems::setContentKey(failure, title.toUtf8());
        MenuItems::replaceItems(item->menu(), item->menu()->actions(), {failure}, 0);
    }
}

} // namespace plimsy
