#include "platform/TerminalLauncher.h"

#include "platform/ProcessStarter.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStandardPaths>

#include <array>

namespace plimsy {

namespace {

Q_LOGGING_CATEGORY(lcTerminalLauncher, "plimsy.terminal")

struct TerminalForm
{
    const char *realName;
    std::optional<QStringList> options; // what goes before the command; none: it takes no command
};

// How each known terminal takes a command as an argument list. Several take "-e" as one string to
// split (gnome-terminal, xfce4-terminal, terminator): they get their option for an argument list.
const std::array<TerminalForm, 15> &terminalForms()
{
    static const std::array<TerminalForm, 15> forms{{
        {"gnome-terminal", QStringList{QStringLiteral("--")}},
        {"konsole", QStringList{QStringLiteral("-e")}},
        {"xfce4-terminal", QStringList{QStringLiteral("-x")}},
        {"xterm", QStringList{QStringLiteral("-e")}},
        {"uxterm", QStringList{QStringLiteral("-e")}},
        {"lxterm", QStringList{QStringLiteral("-e")}},
        {"koi8rxterm", QStringList{QStringLiteral("-e")}},
        {"terminator", QStringList{QStringLiteral("-x")}},
        {"kitty", QStringList{}},
        {"alacritty", QStringList{QStringLiteral("-e")}},
        {"foot", QStringList{}},
        {"wezterm", QStringList{QStringLiteral("start"), QStringLiteral("--")}},
        {"ghostty", QStringList{QStringLiteral("-e")}},
        {"warp-terminal", std::nullopt},
        {"hyper", std::nullopt},
    }};
    return forms;
}

// The file a program path finally names, after every link (the desktop's alternative among them).
QString realName(const QString &program)
{
    const QString target = QFileInfo(program).canonicalFilePath();
    return QFileInfo(target.isEmpty() ? program : target).fileName();
}

// The terminal as the user knows it: the name chosen, or the program the default terminal turned out to be.
QString displayName(TerminalApplication application, const std::optional<QString> &program)
{
    if (application != TerminalApplication::Terminal && application != TerminalApplication::ITerm) {
        for (const auto &[offered, name] : TerminalLauncher::choices()) {
            if (offered == application) {
                return name;
            }
        }
    }
    if (!program) {
        return {};
    }
    QString name = realName(*program);
    if (name.endsWith(QLatin1String(".wrapper"))) {
        name.chop(8);
    }
    return name;
}

} // namespace

TerminalLauncher::TerminalLauncher(ProcessStarter &starter, QProcessEnvironment environment)
    : m_starter(starter)
    , m_environment(std::move(environment))
{
}

TerminalApplication TerminalLauncher::application(qint64 choice)
{
    switch (choice) {
    case 1:
        return TerminalApplication::ITerm;
    case 2:
        return TerminalApplication::Hyper;
    case 3:
        return TerminalApplication::Warp;
    case 4:
        return TerminalApplication::Ghostty;
    default:
        return TerminalApplication::Terminal;
    }
}

TerminalApplication TerminalLauncher::openedApplication(qint64 choice)
{
    const TerminalApplication chosen = application(choice);
    return chosen == TerminalApplication::ITerm ? TerminalApplication::Terminal : chosen;
}

QList<std::pair<TerminalApplication, QString>> TerminalLauncher::choices()
{
    return {
        {TerminalApplication::Terminal, QStringLiteral("Terminal")},
        {TerminalApplication::Hyper, QStringLiteral("Hyper")},
        {TerminalApplication::Warp, QStringLiteral("Warp")},
        {TerminalApplication::Ghostty, QStringLiteral("Ghostty")},
    };
}

std::optional<QStringList> TerminalLauncher::commandOptions(const QString &realName)
{
    // Debian's wrappers (gnome-terminal.wrapper, xfce4-terminal.wrapper) follow the desktop convention.
    if (!realName.endsWith(QLatin1String(".wrapper"))) {
        for (const TerminalForm &form : terminalForms()) {
            if (realName == QLatin1String(form.realName)) {
                return form.options;
            }
        }
    }
    return QStringList{QStringLiteral("-e")};
}

QString TerminalLauncher::shellLine(const QStringList &command)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9@%+=:,./_-]+$"));
    QStringList quoted;
    for (const QString &argument : command) {
        if (plain.match(argument).hasMatch()) {
            quoted << argument;
        } else {
            quoted << u'\'' + QString(argument).replace(u'\'', QLatin1String("'\\''")) + u'\'';
        }
    }
    return quoted.join(u' ');
}

std::optional<TerminalInvocation>
TerminalLauncher::invocation(qint64 choice, const QStringList &command, const QString &workingDirectory) const
{
    std::optional<QString> program;
    switch (application(choice)) {
    case TerminalApplication::Terminal:
    case TerminalApplication::ITerm:
        program = defaultTerminal();
        break;
    case TerminalApplication::Hyper:
        program = findExecutable(QStringLiteral("hyper"));
        break;
    case TerminalApplication::Warp:
        program = findExecutable(QStringLiteral("warp-terminal"));
        break;
    case TerminalApplication::Ghostty:
        program = findExecutable(QStringLiteral("ghostty"));
        break;
    }
    if (!program) {
        return std::nullopt;
    }
    TerminalInvocation result{*program, {}, workingDirectory, {}};
    if (command.isEmpty()) {
        return result;
    }
    if (const std::optional<QStringList> options = commandOptions(realName(*program))) {
        result.arguments << *options << command;
    } else {
        result.commandToPaste = shellLine(command);
    }
    return result;
}

TerminalLauncher::Launch
TerminalLauncher::launch(qint64 choice, const QStringList &command, const QString &workingDirectory) const
{
    const TerminalApplication chosen = application(choice);
    const std::optional<TerminalInvocation> terminal = invocation(choice, command, workingDirectory);
    if (!terminal) {
        const QString name = displayName(chosen, std::nullopt);
        qCWarning(lcTerminalLauncher).noquote()
            << "Not installed:" << (name.isEmpty() ? QStringLiteral("any terminal") : name);
        return {Launch::Status::NotInstalled, chosen, name, {}};
    }
    const QString name = displayName(chosen, terminal->program);
    if (!m_starter.startDetached(terminal->program, terminal->arguments, terminal->workingDirectory)) {
        return {Launch::Status::NotStarted, chosen, name, {}};
    }
    return {Launch::Status::Started, chosen, name, terminal->commandToPaste};
}

std::optional<QString> TerminalLauncher::defaultTerminal() const
{
    if (const auto alternative = findExecutable(QStringLiteral("x-terminal-emulator"))) {
        return alternative;
    }
    const QString preferred = m_environment.value(QStringLiteral("TERMINAL"));
    if (!preferred.isEmpty()) {
        if (const auto found = findExecutable(preferred)) {
            return found;
        }
    }
    static constexpr std::array Known{"gnome-terminal", "konsole", "xfce4-terminal", "xterm"};
    for (const char *name : Known) {
        if (const auto found = findExecutable(QString::fromLatin1(name))) {
            return found;
        }
    }
    return std::nullopt;
}

std::optional<QString> TerminalLauncher::findExecutable(const QString &name) const
{
    const QStringList path =
        m_environment.value(QStringLiteral("PATH")).split(QDir::listSeparator(), Qt::SkipEmptyParts);
    // An absolute TERMINAL is taken as it is; with an empty PATH findExecutable would search the system's.
    if (QFileInfo(name).isAbsolute()) {
        const QFileInfo file(name);
        return file.isFile() && file.isExecutable() ? std::optional<QString>(name) : std::nullopt;
    }
    if (path.isEmpty()) {
        return std::nullopt;
    }
    const QString found = QStandardPaths::findExecutable(name, path);
    return found.isEmpty() ? std::nullopt : std::optional<QString>(found);
}

} // namespace plimsy
