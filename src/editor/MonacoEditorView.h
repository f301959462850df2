#pragma once

#include "editor/EditorWebPage.h"
#include "editor/MonacoTypes.h"

#include <QCoro/QCoroTask>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QMenu;
class QStackedLayout;

namespace plimsy {

class MonacoEditorDelegate;
class MonacoMessageHandler;
class UrlOpener;

// The code editor of the configuration and log windows: the editor page in a web view, driven by short
// script calls. Every text, language, theme, read-only, line-number and scroll call made before the page
// is ready waits (the newest of each kind wins) and is sent once it is. The page's messages become calls
// on the delegate. When the page cannot start or its process dies, the view shows one line saying so
// instead of the editor. The web view comes from the web engine module, loaded with the first editor.
// GUI thread.
class MonacoEditorView : public QWidget, private EditorPageClient
{
    Q_OBJECT

public:
    // `urlOpener` receives links the user follows in the page; none means the desktop's.
    explicit MonacoEditorView(UrlOpener *urlOpener = nullptr, QWidget *parent = nullptr);
    ~MonacoEditorView() override;

    // Not owned; may be left empty.
    MonacoEditorDelegate *delegate() const { return m_delegate; }
    void setDelegate(MonacoEditorDelegate *delegate) { m_delegate = delegate; }

    bool isEditorReady() const { return m_isEditorReady; }
    MonacoLanguage currentLanguage() const { return m_currentLanguage; }
    bool isReadOnly() const { return m_isReadOnly; }
    // The page in its web view; empty once the page is gone, or when the web engine could not be loaded.
    EditorWebPage *webPage() const { return m_webPage; }
    // The line shown in place of the editor; empty while the page is fine.
    QString failure() const { return m_failure; }

    void setContent(const QString &text);
    // The editor's whole text; none when the page gives no string (not ready yet, gone, or not a text).
    // Every line keeps the line ending it was given with; a byte order mark given stays in front.
    QCoro::Task<std::optional<QString>> content();
    void setLanguage(MonacoLanguage language);
    void setTheme(MonacoTheme theme);
    void setReadOnly(bool readOnly);
    void setLineNumbers(bool shown);
    void scrollToBottom();
    void showFind();
    void showFindReplace();
    // Light or dark theme for the current language, following the palette.
    void applyAppearanceTheme();
    // Dark when the palette's window is darker than its text.
    static bool isDarkAppearance();
    // "Find..." first; then, unless the editor is read-only, "Find and Replace..."; a separator; then the
    // edit commands that fit the editor's mode. The caller owns the menu.
    QMenu *createEditorContextMenu();

    // The page "editorReady" message: sends everything that waited.
    void editorDidBecomeReady();

    // Where the page is installed: <executable dir>/../share/plimsy/editor/monaco-editor.html.
    static QString pagePath();

Q_SIGNALS:
    void editorBecameReady();
    void editorFailed(const QString &line);

protected:
    void changeEvent(QEvent *event) override;

private:
    // EditorPageClient
    void pageLoadFinished(bool ok) override;
    void pageProcessEnded(int exitCode) override;
    void pageMessage(const QString &name) override;
    void pageScriptError(const QString &message, int lineNumber, const QString &sourceID) override;
    void pageLinkActivated(const QUrl &url) override;
    void pageContextMenuRequested(const QPoint &globalPos) override;

    void loadEditorPage();
    void send(const QString &script);
    QCoro::Task<QVariant> evaluate(QString script);
    void showFailure(const QString &line);
    // Ends every evaluation still waiting: a dead or deleted page never answers them.
    void abandonScripts();
    // The page goes before the application does: its profile refuses to go while pages live.
    void releasePage();

    MonacoEditorDelegate *m_delegate = nullptr;
    UrlOpener &m_urlOpener;
    QStackedLayout *m_stack;
    EditorWebPage *m_webPage = nullptr;
    QWidget *m_webView = nullptr;
    MonacoMessageHandler *m_messageHandler;
    QLabel *m_failureLabel;
    QTimer m_readyWatchdog;
    struct ScriptAnswer;
    struct ScriptAwaiter;
    std::vector<std::weak_ptr<ScriptAnswer>> m_pendingScripts;

    bool m_isEditorReady = false;
    // The text as last given, line endings and byte order mark included.
    QString m_loadedText;
    std::optional<QString> m_pendingContent;
    std::optional<MonacoLanguage> m_pendingLanguage;
    std::optional<MonacoTheme> m_pendingTheme;
    std::optional<bool> m_pendingReadOnly;
    std::optional<bool> m_pendingLineNumbers;
    bool m_pendingScrollToBottom = false;
    MonacoLanguage m_currentLanguage = MonacoLanguage::Plaintext;
    bool m_isReadOnly = false;
    QString m_failure;
    // False only while the failure is a page that has not become ready yet.
    bool m_failureIsFinal = true;

    Q_DISABLE_COPY_MOVE(MonacoEditorView)
};

} // namespace plimsy
