#include "platform/TerminalLauncher.h"

#include "RecordingProcessStarter.h"
#include "platform/ProcessStarter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace plimsy;
using plimsy::test::RecordingProcessStarter;

namespace {

// What a command inside the terminal must receive untouched: no shell may read any of it.
const QStringList HostileCommand{QStringLiteral("ssh"),
                                 QStringLiteral("-t"),
                                 QStringLiteral("--"),
                                 QStringLiteral("o'brien@$(touch pwned).example.com"),
                                 QStringLiteral("cd 'my site'\\''s \"$(id)\" `id`; rm -rf ~' ; bash")};

// A folder standing in for PATH, holding the programs a test says are installed.
class InstalledPrograms
{
public:
    void install(const QString &name, const QByteArray &script = "#!/bin/sh\nexit 0\n")
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(script);
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    QString path(const QString &name) const { return m_folder.filePath(name); }

    QProcessEnvironment environment(const QString &terminalVariable = {}) const
    {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), m_folder.path());
        if (!terminalVariable.isEmpty()) {
            environment.insert(QStringLiteral("TERMINAL"), terminalVariable);
        }
        return environment;
    }

private:
    QTemporaryDir m_folder;
};

struct TerminalRow
{
    const char *name;
    qint64 choice;
    QStringList installed;
    QString alternative; // what x-terminal-emulator links to, through a folder like /etc/alternatives
    QString terminalVariable;
    QString program;
    QStringList options; // before the command
    bool pastes = false; // takes no command: started bare, the command is to be pasted
};

void PrintTo(const TerminalRow &row, std::ostream *out)
{
    *out << row.name;
}

class TerminalChoiceTest : public ::testing::TestWithParam<TerminalRow>
{
};

} // namespace

// Each terminal gets the command in its own form, chosen by the real name of the program found.
TEST_P(TerminalChoiceTest, RunsTheCommandAsSeparateArgumentsInTheTerminalsOwnForm)
{
    const TerminalRow &row = GetParam();
    InstalledPrograms programs;
    for (const QString &name : row.installed) {
        programs.install(name);
    }
    if (!row.alternative.isEmpty()) {
        programs.install(row.alternative);
        QDir(programs.path(QString())).mkdir(QStringLiteral("alternatives"));
        ASSERT_TRUE(QFile::link(programs.path(row.alternative), programs.path("alternatives/x-terminal-emulator")));
        ASSERT_TRUE(
            QFile::link(programs.path("alternatives/x-terminal-emulator"), programs.path("x-terminal-emulator")));
    }
    RecordingProcessStarter starter;
    TerminalLauncher launcher(starter, programs.environment(row.terminalVariable));

    const TerminalLauncher::Launch launch = launcher.launch(row.choice, HostileCommand, QStringLiteral("/srv"));

    ASSERT_EQ(launch.status, TerminalLauncher::Launch::Status::Started);
    ASSERT_EQ(starter.started.size(), 1);
    EXPECT_EQ(starter.started.at(0).program, programs.path(row.program));
    EXPECT_EQ(starter.started.at(0).workingDirectory, QStringLiteral("/srv"));
    if (row.pastes) {
        EXPECT_EQ(starter.started.at(0).arguments, QStringList());
        EXPECT_EQ(launch.commandToPaste, TerminalLauncher::shellLine(HostileCommand));
    } else {
        EXPECT_EQ(starter.started.at(0).arguments, row.options + HostileCommand);
        EXPECT_TRUE(launch.commandToPaste.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Choices,
    TerminalChoiceTest,
    ::testing::Values(
        TerminalRow{"AlternativeGnomeTerminal", 0, {}, "gnome-terminal", {}, "x-terminal-emulator", {"--"}},
        TerminalRow{"AlternativeDebianWrapper", 0, {}, "gnome-terminal.wrapper", {}, "x-terminal-emulator", {"-e"}},
        TerminalRow{"AlternativeKonsole", 0, {}, "konsole", {}, "x-terminal-emulator", {"-e"}},
        TerminalRow{"AlternativeXfce", 0, {}, "xfce4-terminal", {}, "x-terminal-emulator", {"-x"}},
        TerminalRow{"AlternativeXterm", 0, {}, "xterm", {}, "x-terminal-emulator", {"-e"}},
        TerminalRow{"AlternativeUxterm", 0, {}, "uxterm", {}, "x-terminal-emulator", {"-e"}},
        TerminalRow{"AlternativeTerminator", 0, {}, "terminator", {}, "x-terminal-emulator", {"-x"}},
        TerminalRow{"AlternativeKitty", 0, {}, "kitty", {}, "x-terminal-emulator", {}},
        TerminalRow{"AlternativeAlacritty", 0, {}, "alacritty", {}, "x-terminal-emulator", {"-e"}},
        TerminalRow{"AlternativeFoot", 0, {}, "foot", {}, "x-terminal-emulator", {}},
        TerminalRow{"AlternativeWezterm", 0, {}, "wezterm", {}, "x-terminal-emulator", {"start", "--"}},
        TerminalRow{"AlternativeGhostty", 0, {}, "ghostty", {}, "x-terminal-emulator", {"-e"}},
        TerminalRow{"AlternativeUnknownFollowsTheDesktopConvention", 0, {}, "st", {}, "x-terminal-emulator", {"-e"}},
        TerminalRow{
            "TheAlternativeComesBeforeTERMINAL", 0, {"kitty"}, "konsole", "kitty", "x-terminal-emulator", {"-e"}},
        TerminalRow{"TERMINALTerminatorTakesAnArgumentList",
                    0,
                    {"terminator", "xterm"},
                    {},
                    "terminator",
                    "terminator",
                    {"-x"}},
        TerminalRow{"TERMINALNotInstalledIsPassedOver", 0, {"konsole"}, {}, "missing-term", "konsole", {"-e"}},
        TerminalRow{"GnomeTerminalBeforeTheOthers",
                    0,
                    {"gnome-terminal", "konsole", "xterm"},
                    {},
                    {},
                    "gnome-terminal",
                    {"--"}},
        TerminalRow{"KonsoleBeforeXfceAndXterm", 0, {"konsole", "xfce4-terminal", "xterm"}, {}, {}, "konsole", {"-e"}},
        TerminalRow{"XfceBeforeXterm", 0, {"xfce4-terminal", "xterm"}, {}, {}, "xfce4-terminal", {"-x"}},
        TerminalRow{"ITermHasNoLinuxBuildAndOpensTheDefault", 1, {"xterm"}, {}, {}, "xterm", {"-e"}},
        TerminalRow{"GhosttyByItsCommand", 4, {"ghostty", "xterm"}, {}, {}, "ghostty", {"-e"}},
        TerminalRow{"HyperTakesNoCommand", 2, {"hyper", "xterm"}, {}, {}, "hyper", {}, true},
        TerminalRow{"WarpTakesNoCommand", 3, {"warp-terminal", "xterm"}, {}, {}, "warp-terminal", {}, true},
        TerminalRow{"AnUnlistedChoiceOpensTheDefault", 7, {"ghostty", "xterm"}, {}, {}, "xterm", {"-e"}},
        TerminalRow{"ANegativeChoiceOpensTheDefault", -1, {"xterm"}, {}, {}, "xterm", {"-e"}}),
    [](const ::testing::TestParamInfo<TerminalRow> &info) { return std::string(info.param.name); });

// A line pasted into a shell must run exactly the argument list, whatever the names hold.
TEST(TerminalLauncherTest, ThePasteLineQuotesEveryArgumentThatNeedsIt)
{
    EXPECT_EQ(TerminalLauncher::shellLine({"ssh", "-t", "--", "forge@203.0.113.5", "cd 'a b' ; bash"}),
              R"(ssh -t -- forge@203.0.113.5 'cd '\''a b'\'' ; bash')");
    QProcess shell;
    shell.start("sh", {"-c", "printf '%s\\n' " + TerminalLauncher::shellLine(HostileCommand)});
    ASSERT_TRUE(shell.waitForFinished(20'000));
    EXPECT_EQ(QString::fromUtf8(shell.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts), HostileCommand);
}

TEST(TerminalLauncherTest, AMissingTerminalStartsNothingAndSaysWhich)
{
    using Status = TerminalLauncher::Launch::Status;
    InstalledPrograms programs;
    programs.install(QStringLiteral("xterm"));
    RecordingProcessStarter starter;
    TerminalLauncher launcher(starter, programs.environment());

    // Ghostty chosen but not installed: not some other terminal.
    const TerminalLauncher::Launch ghostty = launcher.launch(4, HostileCommand);
    EXPECT_EQ(ghostty.status, Status::NotInstalled);
    EXPECT_EQ(ghostty.terminalName, QStringLiteral("Ghostty"));
    EXPECT_TRUE(starter.started.isEmpty());

    InstalledPrograms nothing;
    const TerminalLauncher::Launch none = TerminalLauncher(starter, nothing.environment()).launch(0, HostileCommand);
    EXPECT_EQ(none.status, Status::NotInstalled);
    EXPECT_TRUE(none.terminalName.isEmpty());
    EXPECT_TRUE(starter.started.isEmpty());

    starter.starts = false;
    const TerminalLauncher::Launch failed = launcher.launch(0, HostileCommand);
    EXPECT_EQ(failed.status, Status::NotStarted);
    EXPECT_EQ(failed.terminalName, QStringLiteral("xterm"));
}

TEST(TerminalLauncherTest, AnEmptyCommandOpensTheTerminalsOwnShellInTheFolder)
{
    InstalledPrograms programs;
    programs.install(QStringLiteral("gnome-terminal"));
    RecordingProcessStarter starter;
    TerminalLauncher launcher(starter, programs.environment());

    EXPECT_EQ(launcher.invocation(0, {}, QStringLiteral("/home/me/a 'b'")),
              (TerminalInvocation{
                  programs.path(QStringLiteral("gnome-terminal")), {}, QStringLiteral("/home/me/a 'b'"), {}}));
}

// The real starter runs a real child: a stand-in terminal that writes down the arguments it got.
TEST(TerminalLauncherTest, TheSystemStarterHandsEveryArgumentOverUnchanged)
{
    InstalledPrograms programs;
    QTemporaryDir output;
    const QString record = output.filePath(QStringLiteral("argv"));
    // The record appears whole or not at all.
    programs.install(QStringLiteral("xterm"),
                     QByteArray("#!/bin/sh\n{ pwd; printf '%s\\n' \"$@\"; } > '") + record.toUtf8() + "'.part && mv '"
                         + record.toUtf8() + "'.part '" + record.toUtf8() + "'\n");
    TerminalLauncher launcher(ProcessStarter::system(), programs.environment());

    ASSERT_EQ(launcher.launch(0, HostileCommand, output.path()).status, TerminalLauncher::Launch::Status::Started);

    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(record); }, 20'000));
    QFile file(record);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(lines,
              QStringList{QDir(output.path()).canonicalPath()} + QStringList{QStringLiteral("-e")} + HostileCommand);
    EXPECT_FALSE(QFileInfo::exists(QDir(output.path()).filePath(QStringLiteral("pwned"))));
}
