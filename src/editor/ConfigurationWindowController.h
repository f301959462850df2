#pragma once

#include "editor/ConfigurationType.h"
#include "editor/MonacoEditorDelegate.h"
#include "platform/AlertPresenter.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

class QCloseEvent;

namespace plimsy {

class ConfigurationEditorView;
class ConfigurationEditorViewModel;
class ConfigurationWindowDelegate;
class MonacoEditorView;
class Sleeper;
class UrlOpener;
class UserDefaults;

// The window of one configuration or log text: the editor with its toolbar. It shows what its delegate
// loads, marks unsaved edits in the title (" – Edited"), runs the save road with its warnings, asks before
// closing or reloading over unsaved edits, and links a deployment script to a local file. It knows nothing
// of Forge: its delegate loads and saves. All alerts and file panels are window-modal on it. GUI thread.
//
// For a text that is only read, the delegate sets the title, calls beginLoading, then
// setContent(ConfigurationType::ReadOnly, text) (or a log kind); nothing else is needed.
class ConfigurationWindowController : public QWidget, public MonacoEditorDelegate
{
    Q_OBJECT

public:
    // Empty members take the process-wide defaults; each given one must outlive the window.
    struct Services
    {
        AlertPresenter *alerts = nullptr;
        UrlOpener *urlOpener = nullptr;
        UserDefaults *defaults = nullptr;
        Sleeper *sleeper = nullptr;
    };

    static constexpr QStringView EditedMarker = u" \u2013 Edited";

    // With the process-wide services.
    ConfigurationWindowController();
    explicit ConfigurationWindowController(Services services, QWidget *parent = nullptr);
    ~ConfigurationWindowController() override;

    // Not owned; whoever sets it clears it before going away.
    ConfigurationWindowDelegate *delegate() const { return m_delegate; }
    void setDelegate(ConfigurationWindowDelegate *delegate) { m_delegate = delegate; }

    MonacoEditorView *monacoEditor() const { return m_monacoEditor; }
    ConfigurationEditorViewModel *viewModel() const { return m_viewModel.get(); }
    std::optional<ConfigurationType> configType() const { return m_configType; }
    bool hasChanges() const { return m_hasChanges; }
    // Loading or saving.
    bool isLoading() const;

    // When the editor cannot start in this process (the web engine's sandbox as root), says why and how to
    // allow it in an alert and answers true; the window is then not to be shown.
    bool refuseToOpen();

    // Empties the editor and shows progress until setContent; no save is made meanwhile.
    void beginLoading();
    // Shows a loaded text as the given kind: language, read-only state and line numbers, the toolbar's
    // controls, and for logs the scroll to the end. Edits and title stay as they are.
    void setContent(ConfigurationType type, const QString &text);
    // The delegate's save succeeded. The edit mark goes only if the editor still holds the saved text.
    void didSave();
    // The delegate's save failed.
    void showError(const std::optional<QString> &message);

    // The nine toolbar actions.
    void reload();
    void save();
    void loadFromLinkedFile();
    void loadFromDifferentFile();
    void writeToFile();
    void saveToDifferentFile();
    void revealFile();
    void forgetFile();
    void locateFile();

    // MonacoEditorDelegate
    void contentDidChange() override;
    void editorDidRequestSave(const QString &text) override;
    void editorDidRequestClose() override;
    void editorDidRequestReload() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QCoro::Task<> runSaveRoad(std::optional<QString> text);
    void performSave(const QString &text);
    void abandonSave();
    QCoro::Task<> finishSave();
    QCoro::Task<> scrollToEndSoon();
    QCoro::Task<> askBeforeClosing();
    QCoro::Task<> runReload();
    void closeWithoutAsking();
    void markEdited();
    void markClean();
    // A warning sheet on this window.
    Alert warning(const QString &messageText, const QString &informativeText, const QStringList &buttons);
    void tell(const QString &messageText, const QString &informativeText);
    void showInFileManager(const QString &path);

    // The deployment script's file link.
    bool isDeploymentScript() const;
    void refreshLinkedFileState();
    QCoro::Task<> runLoadFromLinkedFile();
    QCoro::Task<> runLoadFromDifferentFile();
    QCoro::Task<bool> mayDiscardChanges();
    QCoro::Task<> readScript(QString path);
    QCoro::Task<> runSaveToDifferentFile();
    QCoro::Task<> writeScript(QString path, bool sameAsLinked);
    QCoro::Task<bool> mayOverwrite(QString path);
    QCoro::Task<> runLocateFile();
    std::optional<QString> linkedPath() const;

    Services m_services;
    ConfigurationWindowDelegate *m_delegate = nullptr;
    std::optional<ConfigurationType> m_configType;
    bool m_hasChanges = false;
    bool m_closeAfterSave = false;
    // Set while a save road runs up to the delegate, and while the close question is open.
    bool m_saveRoadRunning = false;
    // From beginLoading to setContent.
    bool m_loadUnderWay = false;
    // A save asked while the delegate has a text in hand (m_pendingForgeSaveText) is remembered.
    bool m_saveAskedMeanwhile = false;
    bool m_askingToClose = false;
    bool m_closeConfirmed = false;
    std::unique_ptr<ConfigurationEditorViewModel> m_viewModel;
    MonacoEditorView *m_monacoEditor;
    ConfigurationEditorView *m_view;
    std::optional<QString> m_lastForgeText;
    // From handing a text to the delegate until it answers.
    std::optional<QString> m_pendingForgeSaveText;
    std::optional<QDateTime> m_lastReadModificationDate;

    Q_DISABLE_COPY_MOVE(ConfigurationWindowController)
};

// Deletes a window once control is back in the event loop: a window may be let go of from inside its own
// close handler.
struct DeleteWindowLater
{
    void operator()(ConfigurationWindowController *window) const;
};
using OwnedConfigurationWindow = std::unique_ptr<ConfigurationWindowController, DeleteWindowLater>;

} // namespace plimsy
