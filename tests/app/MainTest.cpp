#include <QProcess>

namespace {

struct DisplayRow
{
    const char *name;
    const char *display;        // nullptr: unset
    const char *waylandDisplay; // nullptr: unset
};

void PrintTo(const DisplayRow &row, std::ostream *out)
{
    *out << row.name;
}

class StartWithoutDisplayTest : public ::testing::TestWithParam<DisplayRow>
{
};

// Whatever is missing, the application ends with one line on standard error and a failure status,
// never with Qt's abort.
TEST_P(StartWithoutDisplayTest, FailsWithOneClearLine)
{
    const DisplayRow &row = GetParam();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"}) {
        environment.remove(name);
    }
    if (row.display) {
        environment.insert("DISPLAY", row.display);
    }
    if (row.waylandDisplay) {
        environment.insert("WAYLAND_DISPLAY", row.waylandDisplay);
    }
    QProcess app;
    app.setProcessEnvironment(environment);
    app.start(PLIMSY_APP, {});
    ASSERT_TRUE(app.waitForFinished(30000)) << "the application kept running";

    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 1);
    const QStringList lines = QString::fromUtf8(app.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.first().startsWith("Plimsy needs a graphical desktop session: ")) << lines.first().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Displays,
                         StartWithoutDisplayTest,
                         ::testing::Values(DisplayRow{"none", nullptr, nullptr},
                                           DisplayRow{"emptyDisplay", "", nullptr},
                                           DisplayRow{"unreachableX11Display", ":9731", nullptr},
                                           DisplayRow{"missingWaylandSocket", nullptr, "plimsy-test-no-such-socket"}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
