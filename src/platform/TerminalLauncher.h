#pragma once

#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

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
    // The command as one line for the user to paste, for a terminal that cannot be handed one (Warp and
    // Hyper open their own shell); empty otherwise.
    QString commandToPaste;

    bool operator==(const TerminalInvocation &) const = default;
};

// Opens a terminal window that runs a command given as an argument list. "Terminal" is the desktop's
// default terminal; iTerm has no Linux build and opens that one too. Each terminal takes the command in
// its own way, chosen from the real name of the program found (the desktop's alternative is followed to
// the terminal it names); the command always stays a list of separate arguments, so no shell reads it.
class TerminalLauncher
{
public:
    struct Launch
    {
        enum class Status
        {
            Started,
            NotInstalled,
            NotStarted,
        };
        Status status = Status::NotInstalled;
        TerminalApplication application = TerminalApplication::Terminal;
        // The terminal as the user knows it, for messages: "Ghostty", or the default terminal's program
        // name ("terminator"); empty when no default terminal was found.
        QString terminalName;
        QString commandToPaste;
    };

    // `environment` supplies PATH and TERMINAL for finding the programs.
    explicit TerminalLauncher(ProcessStarter &starter,
                              QProcessEnvironment environment = QProcessEnvironment::systemEnvironment());

    // Any number not listed (and "absent", 0) means Terminal.
    static TerminalApplication application(qint64 choice);
    // The terminal a choice opens: iTerm opens the default terminal.
    static TerminalApplication openedApplication(qint64 choice);
    // What can be chosen here, in order, with the names the user knows: iTerm has no Linux build.
    static QList<std::pair<TerminalApplication, QString>> choices();

    // The arguments that hand a terminal a command, by the program's real name; none for a terminal that
    // takes no command. Names this table does not know get the desktop convention, "-e" and the command.
    static std::optional<QStringList> commandOptions(const QString &realName);

    // The command as one line for a POSIX shell, every argument quoted where it needs to be.
    static QString shellLine(const QStringList &command);

    // How the chosen terminal would be started; an empty `command` opens its own shell in
    // `workingDirectory`. None when the terminal is not installed.
    std::optional<TerminalInvocation>
    invocation(qint64 choice, const QStringList &command, const QString &workingDirectory = {}) const;

    // Starts the chosen terminal; a failure is logged in one line.
    Launch launch(qint64 choice, const QStringList &command, const QString &workingDirectory = {}) const;

private:
    std::optional<QString> defaultTerminal() const;
    std::optional<QString> findExecutable(const QString &name) const;

    ProcessStarter &m_starter;
    QProcessEnvironment m_environment;
};

} // namespace plimsy
