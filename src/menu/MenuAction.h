#pragma once

#include "platform/MenuItems.h"

#include <QString>
#include <QVariant>

class QAction;
class QMenu;

namespace plimsy {

class StatusMenuController;

// A menu action: a controller slot taking the clicked item, as the actions are designed.
using MenuAction = void (StatusMenuController::*)(QAction *sender);

namespace MenuActions {

// Makes `item` call `action` on `target` when chosen. An exception from the slot is logged, never
// left to reach Qt.
void connect(QAction *item, StatusMenuController *target, MenuAction action);

// A new item of `menu`, not yet shown in it, that calls `action` on `target`.
QAction *make(QMenu *menu,
              const QString &title,
              StatusMenuController *target,
              MenuAction action,
              const QVariant &representedObject = {});

// A new item at the end of `menu` that calls `action` on `target`.
QAction *add(QMenu *menu,
             const QString &title,
             StatusMenuController *target,
             MenuAction action,
             const QVariant &representedObject = {});

// Appends a separator.
void addSeparator(QMenu *menu);

} // namespace MenuActions

} // namespace plimsy
