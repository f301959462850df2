#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

namespace plimsy {

class ProcessStarter;

// The terminal applications the user can choose from, by their stored number.
enum class TerminalApplication
{
    Terminal = 0,
    ITerm = 1,
    Hyper = 2,
    Warp = 3,
    Ghostty = 4,
};

// A program and its arguments that open a terminal running a command.
struct TerminalInvocation
{
    QString program;
    QStringList arguments;
    QString workingDirectory;

    bool operator==(const TerminalInvocation &) const = default;
};

// Opens a terminal window that runs a command given as an argument list. "Terminal" is the desktop's
// default terminal; iTerm has no Linux build and opens that one too. Every command is handed over as
// separate arguments after the terminal's own "run this" option, so no shell ever reads it here.
class TerminalLauncher
{
public:
    // `environment` supplies PATH and TERMINAL for finding the programs.
    explicit TerminalLauncher(ProcessStarter &starter,
                              QProcessEnvironment environment = QProcessEnvironment::systemEnvironment());

    // Any number not listed (and "absent", 0) means Terminal.
    static TerminalApplication application(qint64 choice);

    // How the chosen terminal would be started; an empty `command` opens its own shell in
    // `workingDirectory`. None when the terminal is not installed.
    std::optional<TerminalInvocation>
    invocation(qint64 choice, const QStringList &command, const QString &workingDirectory = {}) const;

    // False, with one line in the log, when no terminal is installed or it could not be started.
    bool launch(qint64 choice, const QStringList &command, const QString &workingDirectory = {}) const;

private:
    std::optional<QString> defaultTerminal() const;
    std::optional<QString> findExecutable(const QString &name) const;

    ProcessStarter &m_starter;
    QProcessEnvironment m_environment;
};

} // namespace plimsy
