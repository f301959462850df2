#pragma once

#include <QString>

namespace plimsy::AppPaths {

// The user's "Application Support" equivalent ($XDG_DATA_HOME); not created.
QString applicationSupport();

// The user's "Caches" equivalent ($XDG_CACHE_HOME); not created.
QString caches();

// <Application Support>/<bundle id>, created with mode 0700; empty when it cannot be created.
QString applicationDirectory();

// Creates the folder and its parents if missing and makes the folder itself owner-only (0700).
// Returns false when the folder does not exist afterwards.
bool ensurePrivateDirectory(const QString &path);

// Whether `path` is absolute and a folder of the user's own that nobody else can enter: its owner is this
// user, it is no symbolic link, and it grants group and others nothing.
bool isPrivateDirectory(const QString &path);

// Where the process keeps what only this user's other processes may reach (its instance lock and
// socket): $XDG_RUNTIME_DIR when that is a private folder, else <Caches>/<bundle id>/runtime, made
// owner-only. Empty when neither can be had; never a relative path.
QString runtimeDirectory();

} // namespace plimsy::AppPaths
