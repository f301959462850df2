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

} // namespace plimsy::AppPaths
