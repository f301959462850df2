#pragma once

#include <QString>

#include <optional>

namespace kestrix {

// Directory helpers; failures come back as a readable error text.
class KXFilesystem
{
public:
    // Creates the directory with its parents; a file in its place is removed first.
    static std::optional<QString> ensurePathExists(const QString &path);
    // Removes whatever is at the path, then creates the directory.
    static std::optional<QString> rebuildPath(const QString &path);
};

} // namespace kestrix
