#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace {

struct ModuleCase
{
    const char *name;
    std::optional<QByteArray> moduleContent; // none: no module file at all
    bool namesMissingFile;
};

class WebEngineModuleTest : public testing::TestWithParam<ModuleCase>
{
};

// An installed layout, <prefix>/bin/<program> and <prefix>/lib/plimsy/<module>, whose module cannot be loaded:
// the editor says so in its window instead of showing nothing or taking the application down.
TEST_P(WebEngineModuleTest, TheEditorSaysItsWebEngineCouldNotBeLoaded)
{
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("lib/plimsy")));
    const QString program = prefix.filePath(QStringLiteral("bin/editor_module_probe"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(PLIMSY_EDITOR_MODULE_PROBE), program));
    const QString module =
        prefix.filePath(QStringLiteral("lib/plimsy/") + QFileInfo(PLIMSY_WEBENGINE_MODULE).fileName());
    if (GetParam().moduleContent) {
        QFile file(module);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(*GetParam().moduleContent);
    }

    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    probe.setProcessEnvironment(environment);
    probe.start(program);
    ASSERT_TRUE(probe.waitForFinished(60000)) << "the probe hung";
    const QString output = QString::fromUtf8(probe.readAllStandardOutput());
    EXPECT_EQ(probe.exitCode(), 0) << output.toStdString() << probe.readAllStandardError().toStdString();
    const QString expected = QStringLiteral("shown: The editor cannot be shown: its web engine could not be loaded (");
    const qsizetype at = output.indexOf(expected);
    ASSERT_GE(at, 0) << output.toStdString();
    const QString reason = output.mid(at + expected.size()).section(QLatin1Char('\n'), 0, 0);
    EXPECT_TRUE(reason.endsWith(QLatin1Char(')'))) << reason.toStdString();
    EXPECT_TRUE(reason.contains(module)) << reason.toStdString();
    if (GetParam().namesMissingFile) {
        EXPECT_EQ(reason, module + QStringLiteral(": no such file)"));
    }
}

INSTANTIATE_TEST_SUITE_P(Modules,
                         WebEngineModuleTest,
                         testing::Values(ModuleCase{"missing", std::nullopt, true},
                                         ModuleCase{"broken",
                                                    QByteArray("\x7f"
                                                               "ELF but nothing more"),
                                                    false}),
                         [](const testing::TestParamInfo<ModuleCase> &info) { return std::string(info.param.name); });

} // namespace
