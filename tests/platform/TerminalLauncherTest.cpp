#include "platform/TerminalLauncher.h"

#include "RecordingProcessStarter.h"
#include "platform/ProcessStarter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    QString terminalVariable;
    QString program;
    QString commandOption;
};

void PrintTo(const TerminalRow &row, std::ostream *out)
{
    *out << row.name;
}

class TerminalChoiceTest : public ::testing::TestWithParam<TerminalRow>
{
};

} // namespace

TEST_P(TerminalChoiceTest, RunsTheCommandAsSeparateArgumentsAfterTheTerminalsOwnOption)
{
    const TerminalRow &row = GetParam();
    InstalledPrograms programs;
    for (const QString &name : row.installed) {
        programs.install(name);
    }
    RecordingProcessStarter starter;
    TerminalLauncher launcher(starter, programs.environment(row.terminalVariable));

    ASSERT_TRUE(launcher.launch(row.choice, HostileCommand, QStringLiteral("/srv")));

    ASSERT_EQ(starter.started.size(), 1);
    EXPECT_EQ(starter.started.at(0).program, programs.path(row.program));
    EXPECT_EQ(starter.started.at(0).arguments, QStringList{row.commandOption} + HostileCommand);
    EXPECT_EQ(starter.started.at(0).workingDirectory, QStringLiteral("/srv"));
}

INSTANTIATE_TEST_SUITE_P(
    Choices,
    TerminalChoiceTest,
    ::testing::Values(TerminalRow{"TerminalIsTheDebianAlternativeFirst",
                                  0,
                                  {"x-terminal-emulator", "gnome-terminal", "kitty"},
                                  "kitty",
                                  "x-terminal-emulator",
                                  "-e"},
                      TerminalRow{
                          "TerminalThenTheTERMINALVariable", 0, {"gnome-terminal", "kitty"}, "kitty", "kitty", "-e"},
                      TerminalRow{"TERMINALNamingAKnownTerminalUsesItsOption",
                                  0,
                                  {"xterm", "xfce4-terminal"},
                                  "xfce4-terminal",
                                  "xfce4-terminal",
                                  "-x"},
                      TerminalRow{"TERMINALNotInstalledIsPassedOver", 0, {"konsole"}, "missing-term", "konsole", "-e"},
                      TerminalRow{"TerminalGnomeTerminalBeforeTheOthers",
                                  0,
                                  {"gnome-terminal", "konsole", "xfce4-terminal", "xterm"},
                                  {},
                                  "gnome-terminal",
                                  "--"},
                      TerminalRow{"TerminalKonsole", 0, {"konsole", "xfce4-terminal", "xterm"}, {}, "konsole", "-e"},
                      TerminalRow{"TerminalXfce", 0, {"xfce4-terminal", "xterm"}, {}, "xfce4-terminal", "-x"},
                      TerminalRow{"TerminalXterm", 0, {"xterm"}, {}, "xterm", "-e"},
                      TerminalRow{"ITermHasNoLinuxBuildAndOpensTheDefault", 1, {"xterm"}, {}, "xterm", "-e"},
                      TerminalRow{"Hyper", 2, {"hyper", "xterm"}, {}, "hyper", "-e"},
                      TerminalRow{"Warp", 3, {"warp-terminal", "xterm"}, {}, "warp-terminal", "-e"},
                      TerminalRow{"Ghostty", 4, {"ghostty", "xterm"}, {}, "ghostty", "-e"},
                      TerminalRow{"AnUnlistedChoiceOpensTheDefault", 7, {"ghostty", "xterm"}, {}, "xterm", "-e"},
                      TerminalRow{"ANegativeChoiceOpensTheDefault", -1, {"xterm"}, {}, "xterm", "-e"}),
    [](const ::testing::TestParamInfo<TerminalRow> &info) { return std::string(info.param.name); });

TEST(TerminalLauncherTest, AMissingTerminalStartsNothingAndSaysSo)
{
    InstalledPrograms programs;
    programs.install(QStringLiteral("xterm"));
    RecordingProcessStarter starter;
    TerminalLauncher launcher(starter, programs.environment());

    // Ghostty chosen but not installed: not some other terminal.
    EXPECT_FALSE(launcher.launch(4, HostileCommand));
    EXPECT_TRUE(starter.started.isEmpty());

    InstalledPrograms nothing;
    EXPECT_FALSE(TerminalLauncher(starter, nothing.environment()).launch(0, HostileCommand));
    EXPECT_TRUE(starter.started.isEmpty());

    starter.starts = false;
    EXPECT_FALSE(launcher.launch(0, HostileCommand));
}

TEST(TerminalLauncherTest, AnEmptyCommandOpensTheTerminalsOwnShellInTheFolder)
{
    InstalledPrograms programs;
    programs.install(QStringLiteral("gnome-terminal"));
    RecordingProcessStarter starter;
    TerminalLauncher launcher(starter, programs.environment());

    EXPECT_EQ(
        launcher.invocation(0, {}, QStringLiteral("/home/me/a 'b'")),
        (TerminalInvocation{programs.path(QStringLiteral("gnome-terminal")), {}, QStringLiteral("/home/me/a 'b'")}));
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

    ASSERT_TRUE(launcher.launch(0, HostileCommand, output.path()));

    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(record); }, 20'000));
    QFile file(record);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(lines,
              QStringList{QDir(output.path()).canonicalPath()} + QStringList{QStringLiteral("-e")} + HostileCommand);
    EXPECT_FALSE(QFileInfo::exists(QDir(output.path()).filePath(QStringLiteral("pwned"))));
}
