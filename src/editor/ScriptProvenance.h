#pragma once

#include <QString>

#include <variant>

namespace plimsy {

// Where the text of a deployment script stands against Forge and against its linked local file.
struct ScriptProvenance
{
    // Loaded from the linked file of that name.
    struct File
    {
        QString name;
        bool operator==(const File &) const = default;
    };
    // Loaded from that file, then edited.
    struct FileEdited
    {
        QString name;
        bool operator==(const FileEdited &) const = default;
    };
    // Written to that file; `matchesForge` when the text equals the script last loaded from or saved to Forge.
    struct WrittenToFile
    {
        QString name;
        bool matchesForge = false;
        bool operator==(const WrittenToFile &) const = default;
    };
    // The script as loaded from or saved to Forge.
    struct Forge
    {
        bool operator==(const Forge &) const = default;
    };
    // The Forge script, then edited.
    struct ForgeEdited
    {
        bool operator==(const ForgeEdited &) const = default;
    };

    enum class Tone
    {
        Secondary,
        Warning,
    };

    std::variant<File, FileEdited, WrittenToFile, Forge, ForgeEdited> value;

    bool operator==(const ScriptProvenance &) const = default;

    // What the status line says, and in which colour.
    QString text() const;
    Tone tone() const;
    // The standing after a user edit.
    ScriptProvenance edited() const;
};

} // namespace plimsy
