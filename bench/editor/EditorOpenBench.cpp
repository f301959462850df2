// bench_editor_open: from the status menu's "Edit .env" to the editor page returning Forge's text (a
// 200-line .env served by FakeForge), for the first window of a process and for a second one, with the
// proportional memory (PSS) of the process and its web engine children before and after the first;
// next to a bare QWebEngineView showing a static page, started the same way. Every run is a fresh
// process, so each first window pays for starting the web engine as the application's does. Beside
// them, the line-ending restore of a 50,000-line text with mixed endings after one inserted line and
// after every line changed, next to its anchor: reading the unedited text out of the page.
//
//   bench_editor_open [runs]     (default 5)
//
// The last lines read: editor_open first_ms=A second_ms=B added_mib=C bare_ms=D bare_added_mib=E
// and: line_endings read_ms=F insert_ms=G rewrite_ms=H
#include "FakeForge.h"
#include "ProbeEnvironment.h"
#include "core/APIKeyManager.h"
#include "editor/ConfigurationWindowController.h"
#include "editor/EditorWebEngine.h"
#include "editor/LineEndings.h"
#include "editor/MonacoEditorView.h"
#include "menu/AppState.h"
#include "menu/BenchServices.h"
#include "menu/MenuRepresenter.h"
#include "menu/StatusMenuController.h"
#include "platform/MenuItems.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using plimsy::test::FakeForge;

// --- Memory -----------------------------------------------------------------------------------------

QList<qint64> childrenOf(qint64 pid)
{
    QList<qint64> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 candidate = entry.toLongLong(&isPid);
        if (!isPid) {
            continue;
        }
        QFile stat(QStringLiteral("/proc/%1/stat").arg(candidate));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // "pid (name) state ppid ...": the name may hold blanks, so read after its closing parenthesis.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toLongLong() == pid) {
            children << candidate;
        }
    }
    return children;
}

qint64 pssKilobytes(qint64 pid)
{
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const auto match = QRegularExpression(QStringLiteral("^Pss:\\s+(\\d+) kB"), QRegularExpression::MultilineOption)
                           .match(QString::fromLatin1(rollup.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() : 0;
}

// This process and every process below it (the web engine's zygote, renderers and helpers).
qint64 treePssKilobytes(qint64 pid = QCoreApplication::applicationPid())
{
    qint64 total = pssKilobytes(pid);
    for (const qint64 child : childrenOf(pid)) {
        total += treePssKilobytes(child);
    }
    return total;
}

// --- Probes (one process each) -----------------------------------------------------------------------

void report(const char *key, double value)
{
    std::printf("%s=%.1f\n", key, value);
    std::fflush(stdout);
}

// Runs the event loop until `done` holds; false after a minute.
bool waitFor(const std::function<bool()> &done)
{
    QElapsedTimer limit;
    limit.start();
    while (!done()) {
        if (limit.elapsed() > 60'000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

// The window the status menu opened last shows `expected` in its page.
bool waitForText(plimsy::StatusMenuController &controller, const QString &expected)
{
    plimsy::ConfigurationWindowController *window = controller.configWindows().back()->configWindow();
    if (!waitFor([window] { return !window->isLoading() && window->monacoEditor()->isEditorReady(); })) {
        return false;
    }
    std::optional<std::optional<QString>> text;
    QCoro::connect(window->monacoEditor()->content(), window, [&text](std::optional<QString> value) { text = value; });
    return waitFor([&text] { return text.has_value(); }) && *text == expected;
}

int probeEditor(const QString &forgeBase, const QStringList &texts)
{
    QTemporaryDir scratch;
    plimsy::UserDefaults defaults(scratch.filePath(QStringLiteral("Plimsy.conf")));
    plimsy::Account account;
    account.name = QStringLiteral("Benchmark");
    account.uuid = QStringLiteral("0B6E6C2A-5F1D-4C3B-9A8E-7D6C5B4A3F21");
    plimsy::APIKeyManager keys(std::make_unique<plimsy::bench::MemoryKeychain>());
    keys.setAPIKey(*account.uuid, QStringLiteral("bench-key"));
    plimsy::bench::SignedInServices signedIn(defaults);

    plimsy::AppState state;
    plimsy::Server server;
    server.id = 1;
    server.organizationSlug = QStringLiteral("org-1");
    state.serverList = {server};
    for (qint64 id : {1, 2}) {
        plimsy::Site site;
        site.id = id;
        site.serverId = 1;
        site.name = QStringLiteral("site-%1.example.test").arg(id);
        state.siteList << site;
    }
    plimsy::StatusMenuServices services;
    services.defaults = &defaults;
    services.authService = &signedIn.container.authService();
    services.forge.baseURL = forgeBase;
    services.forge.apiKeys = &keys;
    plimsy::StatusMenuController controller(state, services);

    QObject owner;
    const auto item = [&](qint64 siteId) {
        auto *action = new QAction(&owner);
        plimsy::MenuItems::setRepresentedObject(
            action,
            QVariant::fromValue(plimsy::MenuRepresenter{1, siteId, std::make_shared<const plimsy::Account>(account)}));
        return action;
    };

    const qint64 before = treePssKilobytes();
    QElapsedTimer clock;
    clock.start();
    controller.editEnv(item(1));
    if (!waitForText(controller, texts.value(0))) {
        return 1;
    }
    report("first_ms", double(clock.nsecsElapsed()) / 1e6);
    report("added_kb", double(treePssKilobytes() - before));

    clock.restart();
    controller.editEnv(item(2));
    if (!waitForText(controller, texts.value(1))) {
        return 1;
    }
    report("second_ms", double(clock.nsecsElapsed()) / 1e6);
    return 0;
}

int probeBare()
{
    const QString text = QStringLiteral("A static page.");
    const qint64 before = treePssKilobytes();
    QElapsedTimer clock;
    clock.start();
    QWebEngineView view;
    view.resize(535, 419);
    view.show();
    view.setHtml(QStringLiteral("<!DOCTYPE html><html><body><p>%1</p></body></html>").arg(text));
    std::optional<QString> shown;
    const auto ask = [&] {
        view.page()->runJavaScript(QStringLiteral("document.body ? document.body.textContent : ''"),
                                   [&shown](const QVariant &value) { shown = value.toString(); });
    };
    QObject::connect(&view, &QWebEngineView::loadFinished, &view, ask);
    if (!waitFor([&] { return shown == text; })) {
        return 1;
    }
    report("bare_ms", double(clock.nsecsElapsed()) / 1e6);
    report("bare_added_kb", double(treePssKilobytes() - before));
    return 0;
}

QString mixedEndingsText(int lines, const std::function<QString(int)> &line, bool mixed)
{
    static const QStringList Endings{QStringLiteral("\n"), QStringLiteral("\r\n"), QStringLiteral("\r")};
    QString text;
    for (int index = 0; index < lines; ++index) {
        text += line(index) + (index == lines - 1 ? QString() : mixed ? Endings[index * 7 % 3] : Endings[0]);
    }
    return text;
}

// The median of five runs of `work`, in milliseconds.
double medianMilliseconds(const std::function<void()> &work)
{
    std::vector<double> times;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer clock;
        clock.start();
        work();
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int probeLineEndings()
{
    constexpr int Lines = 50'000;
    const auto original = [](int index) { return QStringLiteral("SETTING_%1=value-%2").arg(index).arg(index * 7); };
    const QString loaded = mixedEndingsText(Lines, original, true);
    plimsy::MonacoEditorView view;
    view.resize(640, 480);
    view.show();
    view.setContent(loaded);
    if (!waitFor([&view] { return view.isEditorReady(); })) {
        return 1;
    }
    bool same = true;
    report("read_ms", medianMilliseconds([&] {
               std::optional<std::optional<QString>> text;
               QCoro::connect(view.content(), &view, [&text](std::optional<QString> value) { text = value; });
               same = waitFor([&text] { return text.has_value(); }) && *text == loaded && same;
           }));
    // As the page gives an edited text back: one ending throughout.
    const QString inserted = mixedEndingsText(
        Lines + 1,
        [&](int index) { return index == 100 ? QStringLiteral("NEW=1") : original(index - (index > 100)); },
        false);
    const QString rewritten = mixedEndingsText(
        Lines, [](int index) { return QStringLiteral("CHANGED_%1=value-%2").arg(index).arg(index * 3); }, false);
    QString restored;
    report("insert_ms", medianMilliseconds([&] { restored = plimsy::withLoadedLineEndings(loaded, inserted); }));
    report("rewrite_ms", medianMilliseconds([&] { restored = plimsy::withLoadedLineEndings(loaded, rewritten); }));
    return same ? 0 : 1;
}

// --- Driver ------------------------------------------------------------------------------------------

QString environmentFile(int site)
{
    QString text;
    for (int line = 1; line <= 200; ++line) {
        text += QStringLiteral("SETTING_%1_%2=value-%3\n").arg(site).arg(line, 3, 10, QLatin1Char('0')).arg(line * 7);
    }
    return text;
}

std::optional<QMap<QString, double>> runProbe(const QStringList &arguments)
{
    QTemporaryDir home;
    const QProcessEnvironment environment = plimsy::bench::probeEnvironment(
        home, {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"});
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.setProcessChannelMode(QProcess::SeparateChannels);
    probe.start(QCoreApplication::applicationFilePath(), arguments);
    // The fake Forge answers on this thread: keep the event loop turning while the probe runs.
    while (probe.state() != QProcess::NotRunning) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        probe.waitForFinished(1);
    }
    const QString output = QString::fromUtf8(probe.readAllStandardOutput());
    QMap<QString, double> figures;
    const auto lines = QRegularExpression(QStringLiteral("^(\\w+)=([\\d.]+)$"), QRegularExpression::MultilineOption)
                           .globalMatch(output);
    for (auto it = lines; it.hasNext();) {
        const auto match = it.next();
        figures.insert(match.captured(1), match.captured(2).toDouble());
    }
    if (probe.exitCode() != 0) {
        std::fprintf(stderr,
                     "probe %s failed:\n%s\n",
                     qUtf8Printable(arguments.value(0)),
                     qUtf8Printable(QString::fromUtf8(probe.readAllStandardError())));
        return std::nullopt;
    }
    return figures;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values.at(values.size() / 2);
}

int drive(int runs)
{
    FakeForge forge;
    forge.addOrganization(QStringLiteral("Org 1"), QStringLiteral("org-1"));
    forge.addServer(QStringLiteral("org-1"), QStringLiteral("server-001"), 1);
    for (qint64 id : {1, 2}) {
        forge.addSite(1, QStringLiteral("site-%1.example.test").arg(id), id).environment = environmentFile(int(id));
    }
    const QString base = forge.apiBase().toString();

    QMap<QString, std::vector<double>> figures;
    for (int run = 0; run < runs; ++run) {
        for (const QStringList &arguments : {QStringList{QStringLiteral("--editor"), base},
                                             QStringList{QStringLiteral("--bare")},
                                             QStringList{QStringLiteral("--line-endings")}}) {
            const auto result = runProbe(arguments);
            if (!result) {
                return 1;
            }
            for (auto it = result->cbegin(); it != result->cend(); ++it) {
                figures[it.key()].push_back(it.value());
            }
        }
    }
    const auto show = [&](const char *label, const char *key, const char *unit, double scale) {
        const std::vector<double> values = figures.value(QString::fromLatin1(key));
        std::printf("%-40s median %8.1f %s (min %.1f, max %.1f)\n",
                    label,
                    median(values) * scale,
                    unit,
                    *std::min_element(values.begin(), values.end()) * scale,
                    *std::max_element(values.begin(), values.end()) * scale);
    };
    std::printf("%d runs, each in a fresh process\n", runs);
    show("editor, first window", "first_ms", "ms", 1);
    show("editor, second window", "second_ms", "ms", 1);
    show("editor, PSS added by the first", "added_kb", "MiB", 1.0 / 1024);
    show("bare web view, static page", "bare_ms", "ms", 1);
    show("bare web view, PSS added", "bare_added_kb", "MiB", 1.0 / 1024);
    show("50,000 lines, read out of the page", "read_ms", "ms", 1);
    show("50,000 lines, endings after one inserted", "insert_ms", "ms", 1);
    show("50,000 lines, endings after a rewrite", "rewrite_ms", "ms", 1);
    std::printf("editor_open first_ms=%.0f second_ms=%.0f added_mib=%.0f bare_ms=%.0f bare_added_mib=%.0f\n",
                median(figures.value("first_ms")),
                median(figures.value("second_ms")),
                median(figures.value("added_kb")) / 1024,
                median(figures.value("bare_ms")),
                median(figures.value("bare_added_kb")) / 1024);
    const double read = median(figures.value("read_ms"));
    std::printf("line_endings read_ms=%.1f insert_ms=%.1f rewrite_ms=%.1f insert_ratio=%.2f rewrite_ratio=%.2f\n",
                read,
                median(figures.value("insert_ms")),
                median(figures.value("rewrite_ms")),
                median(figures.value("insert_ms")) / read,
                median(figures.value("rewrite_ms")) / read);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    plimsy::prepareEditorWebEngine();
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == QLatin1String("--editor") && arguments.size() > 2) {
        return probeEditor(arguments.at(2), {environmentFile(1), environmentFile(2)});
    }
    if (arguments.value(1) == QLatin1String("--bare")) {
        return probeBare();
    }
    if (arguments.value(1) == QLatin1String("--line-endings")) {
        return probeLineEndings();
    }
    bool isNumber = false;
    const int runs = arguments.value(1).toInt(&isNumber);
    return drive(isNumber && runs > 0 ? runs : 5);
}
