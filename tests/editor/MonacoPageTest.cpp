#include "EditorTestSupport.h"
#include "RecordingUrlOpener.h"
#include "core/RunDetached.h"
#include "editor/MonacoMessageHandler.h"

#include <QLabel>
#include <QMenu>

#include <sys/types.h>

#include <csignal>

using namespace plimsy;
using namespace plimsy::test;

namespace {

// The real editor page in a real web view, on Qt's offscreen platform.
class MonacoPageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        view = std::make_unique<MonacoEditorView>(&opener);
        view->setDelegate(&delegate);
        view->resize(640, 480);
        view->show();
    }

    void start() { ASSERT_TRUE(waitUntilReady(view.get())) << view->failure().toStdString(); }

    // Every message the page posted before this call has been handled once it returns.
    void settle() { evaluateInPage(view.get(), QStringLiteral("0")); }

    RecordingUrlOpener opener;
    RecordingEditorDelegate delegate;
    std::unique_ptr<MonacoEditorView> view;
};

// Destroys the view as the next queued call reaches the application object: on this quiet page, the one
// that resumes a caller the page has just answered.
class ViewCloser final : public QObject
{
public:
    explicit ViewCloser(std::unique_ptr<MonacoEditorView> &view)
        : m_view(view)
    {
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::MetaCall) {
            m_view.reset();
        }
        return false;
    }

private:
    std::unique_ptr<MonacoEditorView> &m_view;
};

QCoro::Task<> askContent(MonacoEditorView *view, std::optional<std::optional<QString>> *answer)
{
    *answer = co_await view->content();
}

struct TextRow
{
    const char *name;
    QString text;
};

} // namespace

// A text goes into the page and comes back unchanged, whatever it holds.
TEST_F(MonacoPageTest, TextsComeBackUnchanged)
{
    start();
    const QList<TextRow> rows{
        {"backslashes", QStringLiteral(R"(C:\path\n and \\ and \u0041)")},
        {"backticks", QStringLiteral("`echo hi` and ``")},
        {"placeholder", QStringLiteral("APP_URL=${APP_HOST}/x and $HOME and ${")},
        {"quotes", QStringLiteral("'single' \"double\" </script>")},
        {"crlf", QStringLiteral("APP_NAME=Shop\r\nAPP_ENV=production\r\n")},
        {"lone cr", QStringLiteral("one\rtwo\rthree\r")},
        {"mixed endings", QStringLiteral("one\r\ntwo\nthree\rfour")},
        {"line separators", QString::fromUtf8("a\u2028b\u2029c")},
        {"tab and emoji", QString::fromUtf8("\tindented \xF0\x9F\x9A\x80 caf\xC3\xA9")},
        {"byte order mark", QChar(0xFEFF) + QStringLiteral("#!/bin/sh\n")},
        {"empty", QString()},
        {"one megabyte", QString(1024 * 1024 - 1, u'x') + u'\n'},
    };
    for (const TextRow &row : rows) {
        SCOPED_TRACE(row.name);
        view->setContent(row.text);
        EXPECT_EQ(pageText(view.get()), row.text);
    }
    settle();
    EXPECT_EQ(delegate.changes, 0) << "the host's own texts are not the user's edits";
}

// Everything asked before the page is ready reaches it once it is: the newest text, the log language with
// its theme, read-only, hidden line numbers and the scroll to the end.
TEST_F(MonacoPageTest, CallsBeforeReadyAreAppliedOnceReady)
{
    QString log;
    for (int line = 1; line <= 300; ++line) {
        log += QStringLiteral("[2026-12-08 12:00:00] production.INFO: line %1\n").arg(line);
    }
    log += QStringLiteral("[2026-12-08 12:00:01] production.ERROR: the end");
    view->setContent(QStringLiteral("the first text"));
    view->setContent(log);
    view->setLanguage(MonacoLanguage::Log);
    view->setReadOnly(true);
    view->setLineNumbers(false);
    view->scrollToBottom();
    EXPECT_FALSE(view->isEditorReady());
    start();

    EXPECT_EQ(pageText(view.get()), log);
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return editorState(view.get()).value(QStringLiteral("lastVisibleLine")).toInt() == 301; },
        EditorWaitLimit));
    const QVariantMap state = editorState(view.get());
    EXPECT_EQ(state.value(QStringLiteral("language")), QStringLiteral("log"));
    EXPECT_EQ(state.value(QStringLiteral("readOnly")), true);
    EXPECT_EQ(state.value(QStringLiteral("lineNumbers")), false);
    EXPECT_GT(state.value(QStringLiteral("firstVisibleLine")).toInt(), 1);
    // The log theme colours its levels: the offscreen palette is light, so "log-light".
    const QString errorColour = QStringLiteral(R"JS((() => {
        const token = [...document.querySelectorAll('.view-line span span')].find((s) => s.textContent === 'ERROR');
        return token ? getComputedStyle(token).color : '';
    })())JS");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !evaluateInPage(view.get(), errorColour).toString().isEmpty(); },
                                EditorWaitLimit));
    EXPECT_EQ(evaluateInPage(view.get(), errorColour).toString(), QStringLiteral("rgb(205, 49, 49)"));
}

TEST_F(MonacoPageTest, OnlyTheUsersKeysCountAsEditsAndReadOnlyRefusesThem)
{
    start();
    view->setContent(QStringLiteral("KEY=value\r\n"));
    typeKeys(view.get(), QStringLiteral("ab"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return delegate.changes >= 2; }, EditorWaitLimit));
    EXPECT_EQ(pageText(view.get()), QStringLiteral("abKEY=value\r\n"));
    settle();
    EXPECT_EQ(delegate.changes, 2);

    view->setContent(QStringLiteral("fixed"));
    view->setReadOnly(true);
    typeKeys(view.get(), QStringLiteral("zz"));
    settle();
    EXPECT_EQ(pageText(view.get()), QStringLiteral("fixed"));
    EXPECT_EQ(delegate.changes, 2);
}

// Ctrl+S in the page saves the editor's text; a save while the page gives no string saves nothing.
TEST_F(MonacoPageTest, APageSaveHandsOverTheTextAndNothingElse)
{
    start();
    view->setContent(QStringLiteral("DB_HOST=127.0.0.1"));
    pressShortcut(view.get(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([this] { return delegate.saves.size() == 1; }, EditorWaitLimit));
    EXPECT_EQ(delegate.saves.first(), QStringLiteral("DB_HOST=127.0.0.1"));

    evaluateInPage(view.get(), QStringLiteral(R"JS((() => {
        window.realGetValue = window.getValue;
        window.getValue = () => { window.numberGiven = true; return 42; };
        window.webkit.messageHandlers.save.postMessage({});
    })())JS"));
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return evaluateInPage(view.get(), QStringLiteral("window.numberGiven")) == true; }, EditorWaitLimit));
    settle();
    EXPECT_EQ(delegate.saves.size(), 1);

    evaluateInPage(view.get(), QStringLiteral(R"JS((() => {
        window.getValue = window.realGetValue;
        window.webkit.messageHandlers.save.postMessage({});
    })())JS"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return delegate.saves.size() == 2; }, EditorWaitLimit));
    EXPECT_EQ(delegate.saves.last(), QStringLiteral("DB_HOST=127.0.0.1"));
}

TEST_F(MonacoPageTest, OnlyTheProtocolsNamesReachTheWindow)
{
    auto *handler = view->findChild<MonacoMessageHandler *>();
    ASSERT_NE(handler, nullptr);
    for (const char *name : {"bogus", "Save", "editorready", "", "save "}) {
        handler->didReceiveScriptMessage(QString::fromLatin1(name));
    }
    EXPECT_EQ(delegate.changes + delegate.saves.size() + delegate.closes + delegate.reloads, 0);
    EXPECT_FALSE(view->isEditorReady());

    handler->didReceiveScriptMessage(QStringLiteral("contentChanged"));
    handler->didReceiveScriptMessage(QStringLiteral("close"));
    handler->didReceiveScriptMessage(QStringLiteral("reload"));
    EXPECT_EQ(delegate.changes, 1);
    EXPECT_EQ(delegate.closes, 1);
    EXPECT_EQ(delegate.reloads, 1);
}

TEST_F(MonacoPageTest, TheContextMenuOffersFindAndOnlyEditing)
{
    const auto titles = [this] {
        std::unique_ptr<QMenu> menu(view->createEditorContextMenu());
        QStringList result;
        for (const QAction *action : menu->actions()) {
            result << (action->isSeparator() ? QStringLiteral("-") : action->text());
        }
        return result;
    };
    EXPECT_EQ(
        titles(),
        (QStringList{
            "Find...", "Find and Replace...", "-", "Undo", "Redo", "-", "Cut", "Copy", "Paste", "-", "Select All"}));
    view->setReadOnly(true);
    EXPECT_EQ(titles(), (QStringList{"Find...", "-", "Copy", "-", "Select All"}));
}

// Links leave the page for the desktop; the editor stays where it is.
TEST_F(MonacoPageTest, LinksOpenOutsideAndThePageStays)
{
    start();
    view->setContent(QStringLiteral("still here"));
    evaluateInPage(view.get(), QStringLiteral(R"JS((() => {
        const link = document.createElement('a');
        link.href = 'https://forge.example/docs';
        document.body.appendChild(link);
        link.click();
        window.open('https://forge.example/new-window');
    })())JS"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return opener.opened.size() == 2; }, EditorWaitLimit));
    EXPECT_TRUE(opener.opened.contains(QUrl(QStringLiteral("https://forge.example/docs"))));
    EXPECT_TRUE(opener.opened.contains(QUrl(QStringLiteral("https://forge.example/new-window"))));
    EXPECT_EQ(pageText(view.get()), QStringLiteral("still here"));
}

// A renderer that dies leaves a line saying so, not a blank window.
TEST_F(MonacoPageTest, ADeadPageProcessIsShownAsOneLine)
{
    start();
    const qint64 pid = view->webPage()->renderProcessPid();
    ASSERT_GT(pid, 0);
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !view->failure().isEmpty(); }, EditorWaitLimit));
    auto *line = view->findChild<QLabel *>(QStringLiteral("editorFailureLabel"));
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->isVisible());
    EXPECT_TRUE(line->text().startsWith(QStringLiteral("The editor stopped")));
    EXPECT_EQ(pageText(view.get()), std::nullopt);
}

// An answer on its way to its caller when the window closes is not handed over: the caller gets no text, and
// nothing reads the view that is gone.
TEST_F(MonacoPageTest, AnAnswerOnItsWayWhenTheViewGoesGivesNoText)
{
    start();
    view->setContent(QStringLiteral("on its way"));
    std::optional<std::optional<QString>> answer;
    runDetached(askContent(view.get(), &answer));
    ViewCloser closer(view);
    QCoreApplication::instance()->installEventFilter(&closer);
    const bool answered = QTest::qWaitFor([&] { return answer.has_value(); }, EditorWaitLimit);
    QCoreApplication::instance()->removeEventFilter(&closer);
    ASSERT_TRUE(answered);
    EXPECT_EQ(view, nullptr);
    EXPECT_EQ(*answer, std::nullopt);
}
