#include "editor/MonacoEditorView.h"

#include "core/Logger.h"
#include "editor/LineEndings.h"
#include "editor/MonacoMessageHandler.h"
#include "editor/WebEngineModule.h"
#include "platform/UrlOpener.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPalette>
#include <QStackedLayout>

#include <coroutine>
#include <memory>

namespace plimsy {

namespace {

using namespace std::chrono_literals;

// Beyond this the page is taken to be broken: it loads from the local disk.
constexpr auto ReadyLimit = 30s;

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// A JSON string literal is a JavaScript string literal that keeps every character, CR and CRLF
// included; the two separators are escaped for engines that end a line on them.
QString scriptLiteral(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    QString literal = QString::fromUtf8(array.mid(1, array.size() - 2));
    literal.replace(QChar(0x2028), QLatin1String("\\u2028"));
    literal.replace(QChar(0x2029), QLatin1String("\\u2029"));
    return literal;
}

QString withoutByteOrderMark(const QString &text)
{
    return text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text;
}

} // namespace

// One evaluation's answer. It is given when the page answers, or as nothing when the page dies or goes away
// before the answer is taken; the waiting coroutine is resumed from the event loop, never from inside those
// calls.
struct MonacoEditorView::ScriptAnswer
{
    bool answered = false;
    QVariant value;
    std::coroutine_handle<> waiting;

    void give(const QVariant &result, const std::shared_ptr<ScriptAnswer> &self)
    {
        if (answered) {
            return;
        }
        answered = true;
        value = result;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self] {
                if (self->waiting) {
                    std::exchange(self->waiting, nullptr).resume();
                }
            },
            Qt::QueuedConnection);
    }

    // An answer already given but not yet taken goes too: its taker may read the view that is going.
    void abandon(const std::shared_ptr<ScriptAnswer> &self)
    {
        value = QVariant();
        give(QVariant(), self);
    }
};

struct MonacoEditorView::ScriptAwaiter
{
    std::shared_ptr<ScriptAnswer> answer;

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiting) { answer->waiting = waiting; }
    QVariant await_resume() const { return answer->value; }
};

MonacoEditorView::MonacoEditorView(UrlOpener *urlOpener, QWidget *parent)
    : QWidget(parent)
    , m_urlOpener(urlOpener ? *urlOpener : UrlOpener::system())
    , m_stack(new QStackedLayout(this))
    , m_messageHandler(new MonacoMessageHandler(this, this))
    , m_failureLabel(new QLabel(this))
{
    QString moduleFailure;
    if (WebEngineModule *module = WebEngineModule::load(&moduleFailure)) {
        m_webPage = module->createEditorPage(QUrl::fromLocalFile(pagePath()), *this, this);
        m_webView = m_webPage->widget();
        m_webView->setObjectName(QStringLiteral("editorWebView"));
        m_webPage->setPageBackground(palette().color(QPalette::Base));
        m_stack->addWidget(m_webView);
    }
    m_failureLabel->setObjectName(QStringLiteral("editorFailureLabel"));
    m_failureLabel->setAlignment(Qt::AlignCenter);
    m_failureLabel->setWordWrap(true);
    m_failureLabel->setMargin(24);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_failureLabel);

    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &MonacoEditorView::releasePage);
    m_readyWatchdog.setSingleShot(true);
    m_readyWatchdog.setInterval(ReadyLimit);
    connect(&m_readyWatchdog, &QTimer::timeout, this, [this] {
        // Said, but not final: a page that is only slow (a busy machine) still takes over when it is ready.
        showFailure(QStringLiteral("The editor did not start: its page never became ready."));
        m_failureIsFinal = false;
    });
    if (!m_webPage) {
        printLine(QStringLiteral("MonacoEditorView: Could not load the web engine module: ") + moduleFailure);
        showFailure(QStringLiteral("The editor cannot be shown: its web engine could not be loaded (") + moduleFailure
                    + u')');
        return;
    }
    loadEditorPage();
}

MonacoEditorView::~MonacoEditorView()
{
    // The page goes first, while the view it shows in and the handler its messages reach still stand.
    releasePage();
}

void MonacoEditorView::releasePage()
{
    if (EditorWebPage *page = std::exchange(m_webPage, nullptr)) {
        page->releasePage();
    }
    abandonScripts();
    m_isEditorReady = false;
}

QString MonacoEditorView::pagePath()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath()
                           + QStringLiteral("/../share/plimsy/editor/monaco-editor.html"));
}

void MonacoEditorView::loadEditorPage()
{
    const QString path = pagePath();
    if (!QFileInfo::exists(path)) {
        printLine(QStringLiteral("MonacoEditorView: Could not find monaco-editor.html at ") + path);
        showFailure(QStringLiteral("The editor cannot be shown: its page is missing (") + path + u')');
        return;
    }
    m_readyWatchdog.start();
    m_webPage->loadPage(QUrl::fromLocalFile(path));
}

void MonacoEditorView::pageLoadFinished(bool ok)
{
    if (!ok && !m_isEditorReady) {
        showFailure(QStringLiteral("The editor cannot be shown: its page did not load (") + pagePath() + u')');
    }
}

void MonacoEditorView::showFailure(const QString &line)
{
    if (!m_failure.isEmpty() && m_failureIsFinal) {
        return;
    }
    m_readyWatchdog.stop();
    m_failure = line;
    m_failureIsFinal = true;
    log(QStringLiteral("[MonacoEditorView] ") + line);
    m_failureLabel->setText(line);
    m_stack->setCurrentWidget(m_failureLabel);
    Q_EMIT editorFailed(line);
}

void MonacoEditorView::send(const QString &script)
{
    if (m_webPage) {
        m_webPage->runScript(script);
    }
}

QCoro::Task<QVariant> MonacoEditorView::evaluate(QString script)
{
    auto answer = std::make_shared<ScriptAnswer>();
    if (!m_webPage || !m_failure.isEmpty()) {
        co_return QVariant();
    }
    std::erase_if(m_pendingScripts, [](const std::weak_ptr<ScriptAnswer> &pending) { return pending.expired(); });
    m_pendingScripts.push_back(answer);
    m_webPage->runScript(script, [answer](const QVariant &value) { answer->give(value, answer); });
    ScriptAwaiter awaiter{answer};
    co_return co_await awaiter;
}

void MonacoEditorView::abandonScripts()
{
    for (const std::weak_ptr<ScriptAnswer> &pending : std::exchange(m_pendingScripts, {})) {
        if (const std::shared_ptr<ScriptAnswer> answer = pending.lock()) {
            answer->abandon(answer);
        }
    }
}

void MonacoEditorView::setContent(const QString &text)
{
    // The page drops a leading byte order mark; it is held here and put back on the way out.
    m_loadedText = text;
    if (!m_isEditorReady) {
        m_pendingContent = text;
        return;
    }
    send(QStringLiteral("setValue(") + scriptLiteral(withoutByteOrderMark(text)) + u')');
}

QCoro::Task<std::optional<QString>> MonacoEditorView::content()
{
    // Before "editorReady" the page has no editor to ask.
    if (!m_isEditorReady) {
        co_return std::nullopt;
    }
    const QString script = QStringLiteral("getValue()");
    const QVariant value = co_await evaluate(script);
    if (!value.isValid()) {
        printLine(QStringLiteral("MonacoEditorView: getValue error: the page returned no value"));
        co_return std::nullopt;
    }
    if (value.userType() != QMetaType::QString) {
        co_return std::nullopt;
    }
    // Unedited, the page gives back what it was given; edited, its lines with one ending each, which get
    // back the endings they came with.
    const QString text = value.toString();
    const QString loaded = withoutByteOrderMark(m_loadedText);
    const QString mark = m_loadedText.left(m_loadedText.size() - loaded.size());
    co_return mark + (text == loaded ? loaded : withLoadedLineEndings(loaded, text));
}

void MonacoEditorView::setLanguage(MonacoLanguage language)
{
    m_currentLanguage = language;
    if (!m_isEditorReady) {
        m_pendingLanguage = language;
        return;
    }
    send(QStringLiteral("setLanguage('%1')").arg(rawValue(language)));
    if (language == MonacoLanguage::Log || language == MonacoLanguage::DeploymentLog) {
        setTheme(themeFor(language, isDarkAppearance()));
    }
}

void MonacoEditorView::setTheme(MonacoTheme theme)
{
    if (!m_isEditorReady) {
        m_pendingTheme = theme;
        return;
    }
    send(QStringLiteral("setTheme('%1')").arg(rawValue(theme)));
}

void MonacoEditorView::setReadOnly(bool readOnly)
{
    m_isReadOnly = readOnly;
    if (!m_isEditorReady) {
        m_pendingReadOnly = readOnly;
        return;
    }
    send(QStringLiteral("setReadOnly(") + boolText(readOnly) + u')');
}

void MonacoEditorView::setLineNumbers(bool shown)
{
    if (!m_isEditorReady) {
        m_pendingLineNumbers = shown;
        return;
    }
    send(QStringLiteral("setLineNumbers(") + boolText(shown) + u')');
}

void MonacoEditorView::scrollToBottom()
{
    if (!m_isEditorReady) {
        m_pendingScrollToBottom = true;
        return;
    }
    send(QStringLiteral("scrollToBottom()"));
}

void MonacoEditorView::showFind()
{
    if (m_isEditorReady) {
        send(QStringLiteral("showFind()"));
    }
}

void MonacoEditorView::showFindReplace()
{
    if (m_isEditorReady && !m_isReadOnly) {
        send(QStringLiteral("showFindReplace()"));
    }
}

void MonacoEditorView::applyAppearanceTheme()
{
    setTheme(themeFor(m_currentLanguage, isDarkAppearance()));
}

bool MonacoEditorView::isDarkAppearance()
{
    const QPalette palette = QGuiApplication::palette();
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

void MonacoEditorView::editorDidBecomeReady()
{
    if (m_isEditorReady) {
        return;
    }
    m_isEditorReady = true;
    m_readyWatchdog.stop();
    if (!m_failure.isEmpty() && !m_failureIsFinal) {
        log(QStringLiteral("[MonacoEditorView] The editor page became ready after all."));
        m_failure.clear();
        m_stack->setCurrentWidget(m_webView);
    }
    if (const auto text = std::exchange(m_pendingContent, std::nullopt)) {
        setContent(*text);
    }
    if (const auto language = std::exchange(m_pendingLanguage, std::nullopt)) {
        setLanguage(*language);
    }
    if (const auto theme = std::exchange(m_pendingTheme, std::nullopt)) {
        setTheme(*theme);
    } else {
        applyAppearanceTheme();
    }
    if (const auto readOnly = std::exchange(m_pendingReadOnly, std::nullopt)) {
        setReadOnly(*readOnly);
    }
    if (const auto lineNumbers = std::exchange(m_pendingLineNumbers, std::nullopt)) {
        setLineNumbers(*lineNumbers);
    }
    if (std::exchange(m_pendingScrollToBottom, false)) {
        scrollToBottom();
    }
    Q_EMIT editorBecameReady();
}

void MonacoEditorView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_webPage) {
        m_webPage->setPageBackground(palette().color(QPalette::Base));
        applyAppearanceTheme();
    }
}

void MonacoEditorView::pageProcessEnded(int exitCode)
{
    abandonScripts();
    showFailure(
        QStringLiteral("The editor stopped: its page process ended (exit code %1). Close and reopen this window.")
            .arg(exitCode));
}

void MonacoEditorView::pageMessage(const QString &name)
{
    m_messageHandler->didReceiveScriptMessage(name);
}

void MonacoEditorView::pageScriptError(const QString &message, int lineNumber, const QString &sourceID)
{
    printLine(QStringLiteral("MonacoEditorView: page error: %1 (%2:%3)").arg(message, sourceID).arg(lineNumber));
}

void MonacoEditorView::pageLinkActivated(const QUrl &url)
{
    m_urlOpener.openUrl(url);
}

void MonacoEditorView::pageContextMenuRequested(const QPoint &globalPos)
{
    QMenu *menu = createEditorContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
}

QMenu *MonacoEditorView::createEditorContextMenu()
{
    auto *menu = new QMenu(this);
    QAction *find = menu->addAction(QStringLiteral("Find..."), this, &MonacoEditorView::showFind);
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    if (!m_isReadOnly) {
        QAction *replace =
            menu->addAction(QStringLiteral("Find and Replace..."), this, &MonacoEditorView::showFindReplace);
        replace->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    }
    menu->addSeparator();

    // Undo, redo and select all go to the editor's own commands; the clipboard goes through the page, as
    // the keyboard's shortcuts do.
    const auto command = [this](const char *name) {
        return [this, name] { send(QStringLiteral("runEditorCommand('%1')").arg(QLatin1String(name))); };
    };
    const auto pageAction = [this](EditorWebPage::EditAction action) {
        return [this, action] {
            if (m_webPage) {
                m_webPage->triggerEditAction(action);
            }
        };
    };
    if (!m_isReadOnly) {
        menu->addAction(QStringLiteral("Undo"), this, command("undo"))->setShortcut(QKeySequence::Undo);
        menu->addAction(QStringLiteral("Redo"), this, command("redo"))->setShortcut(QKeySequence::Redo);
        menu->addSeparator();
        menu->addAction(QStringLiteral("Cut"), this, pageAction(EditorWebPage::EditAction::Cut))
            ->setShortcut(QKeySequence::Cut);
    }
    menu->addAction(QStringLiteral("Copy"), this, pageAction(EditorWebPage::EditAction::Copy))
        ->setShortcut(QKeySequence::Copy);
    if (!m_isReadOnly) {
        menu->addAction(QStringLiteral("Paste"), this, pageAction(EditorWebPage::EditAction::Paste))
            ->setShortcut(QKeySequence::Paste);
    }
    menu->addSeparator();
    menu->addAction(QStringLiteral("Select All"), this, command("selectAll"))->setShortcut(QKeySequence::SelectAll);
    return menu;
}

} // namespace plimsy
