#include "editor/ScriptProvenance.h"

namespace plimsy {

namespace {

template <typename... Handlers> struct Overloaded : Handlers...
{
    using Handlers::operator()...;
};
template <typename... Handlers> Overloaded(Handlers...) -> Overloaded<Handlers...>;

constexpr QChar EmDash(0x2014);

} // namespace

QString ScriptProvenance::text() const
{
    const QString dash = QStringLiteral(" ") + EmDash + u' ';
    return std::visit(
        Overloaded{
            [&](const File &file) { return QStringLiteral("From ") + file.name + dash + "not on Forge yet"; },
            [&](const FileEdited &) { return QStringLiteral("Edited") + dash + "differs from file and Forge"; },
            [&](const WrittenToFile &written) {
                const QString saved = QStringLiteral("Saved to ") + written.name;
                return written.matchesForge ? saved : saved + dash + "not on Forge yet";
            },
            [](const Forge &) { return QStringLiteral("Loaded from Forge"); },
            [&](const ForgeEdited &) { return QStringLiteral("Edited") + dash + "not saved to Forge"; },
        },
        value);
}

ScriptProvenance::Tone ScriptProvenance::tone() const
{
    if (std::holds_alternative<Forge>(value)) {
        return Tone::Secondary;
    }
    if (const auto *written = std::get_if<WrittenToFile>(&value)) {
        return written->matchesForge ? Tone::Secondary : Tone::Warning;
    }
    return Tone::Warning;
}

ScriptProvenance ScriptProvenance::edited() const
{
    return std::visit(Overloaded{
                          [](const File &file) { return ScriptProvenance{FileEdited{file.name}}; },
                          [](const FileEdited &file) { return ScriptProvenance{FileEdited{file.name}}; },
                          [](const WrittenToFile &written) {
                              return written.matchesForge ? ScriptProvenance{ForgeEdited{}}
                                                          : ScriptProvenance{FileEdited{written.name}};
                          },
                          [](const Forge &) { return ScriptProvenance{ForgeEdited{}}; },
                          [](const ForgeEdited &) { return ScriptProvenance{ForgeEdited{}}; },
                      },
                      value);
}

} // namespace plimsy
