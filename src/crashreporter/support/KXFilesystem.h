#pragma once

#include <QString>

#include <optional>

namespace kestrix {

// Directory helpers; failures come back as a readable error text.
class KXFilesystem
{
public:
    // Creates the directory with its parents; a file in its place is removed first. The directory
    // itself is the owner's alone (0700) from the moment it exists.
    static std::optional<QString> ensurePathExists(const QString &path);
    // Creates the directory (0700) with its parents, or makes an existing one 0700.
    static std::optional<QString> makePrivateDirectory(const QString &path);
    // Removes whatever is at the path, then creates the directory.
    static std::optional<QString> rebuildPath(const QString &path);
};

} // namespace kestrix
