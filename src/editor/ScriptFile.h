#pragma once

#include <QDateTime>
#include <QString>

#include <optional>
#include <variant>

namespace plimsy {

// A deployment script file as read from disk.
struct ScriptFileContents
{
    QString text;
    // None when the file system gives no date.
    std::optional<QDateTime> modified;
};

// The file's UTF-8 text (a byte-order mark kept) and its date, or the reason it cannot be read.
std::variant<ScriptFileContents, QString> readScriptFile(const QString &path);
// None when the file is gone or its date cannot be read.
std::optional<QDateTime> scriptFileModified(const QString &path);
// Replaces the file's contents in one step, keeping its permissions; the reason on failure.
std::optional<QString> writeScriptFile(const QString &path, const QString &text);

} // namespace plimsy
