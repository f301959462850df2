#include "editor/ConfigurationWindowController.h"

#include "core/Logger.h"
#include "core/RunDetached.h"
#include "editor/ConfigurationEditorView.h"
#include "editor/ConfigurationEditorViewModel.h"
#include "editor/ConfigurationWindowDelegate.h"
#include "editor/EditorWebEngine.h"
#include "editor/MonacoEditorView.h"
#include "platform/AlertPresenter.h"
#include "platform/Clock.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QPointer>
#include <QVBoxLayout>

namespace plimsy {

namespace {

using namespace std::chrono_literals;

// Logs are shown from their newest end once the editor has laid the text out.
constexpr auto ScrollToEndDelay = 500ms;

ConfigurationWindowController::Services withDefaults(ConfigurationWindowController::Services services)
{
    if (!services.alerts) {
        services.alerts = &AlertPresenter::system();
    }
    if (!services.urlOpener) {
        services.urlOpener = &UrlOpener::system();
    }
    if (!services.defaults) {
        services.defaults = &UserDefaults::standard();
    }
    if (!services.sleeper) {
        services.sleeper = &Sleeper::system();
    }
    return services;
}

} // namespace

ConfigurationWindowController::ConfigurationWindowController()
    : ConfigurationWindowController(Services{})
{
}

ConfigurationWindowController::ConfigurationWindowController(Services services, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_services(withDefaults(services))
    , m_viewModel(std::make_unique<ConfigurationEditorViewModel>(*m_services.defaults))
    , m_monacoEditor(new MonacoEditorView(m_services.urlOpener, this))
{
    setWindowTitle(QStringLiteral("Configuration"));
    resize(535, 419);
    setMinimumSize(400, 400);
    m_monacoEditor->setObjectName(QStringLiteral("monacoEditor"));
    m_monacoEditor->setDelegate(this);

    // Each action holds the window weakly: a menu or button may outlive it for a moment.
    const QPointer<ConfigurationWindowController> self(this);
    const auto action = [self](void (ConfigurationWindowController::*method)()) {
        return [self, method] {
            if (self) {
                (self.data()->*method)();
            }
        };
    };
    using C = ConfigurationWindowController;
    m_view = new ConfigurationEditorView(*m_viewModel,
                                         m_monacoEditor,
                                         {action(&C::reload),
                                          action(&C::save),
                                          action(&C::loadFromLinkedFile),
                                          action(&C::loadFromDifferentFile),
                                          action(&C::writeToFile),
                                          action(&C::saveToDifferentFile),
                                          action(&C::revealFile),
                                          action(&C::forgetFile),
                                          action(&C::locateFile)},
                                         this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

ConfigurationWindowController::~ConfigurationWindowController()
{
    m_monacoEditor->setDelegate(nullptr);
    printLine(QStringLiteral("Deinit of ConfigurationWindowController"));
}

bool ConfigurationWindowController::isLoading() const
{
    return m_viewModel->isLoading();
}

bool ConfigurationWindowController::refuseToOpen()
{
    const std::optional<QString> refusal = webEngineRefusal();
    if (refusal) {
        m_services.alerts->show(
            Alert{QStringLiteral("The editor cannot open"), *refusal, Alert::Style::Warning, {QStringLiteral("OK")}});
    }
    return refusal.has_value();
}

void ConfigurationWindowController::beginLoading()
{
    // Until the new text is in, there is nothing the save road may send.
    m_configType.reset();
    m_loadUnderWay = true;
    m_monacoEditor->setContent(QString());
    m_viewModel->setLoading(true);
    m_viewModel->setSaveEnabled(false);
}

void ConfigurationWindowController::setContent(ConfigurationType type, const QString &text)
{
    m_configType = type;
    m_loadUnderWay = false;
    const ConfigurationTraits &traits = traitsOf(type);
    m_monacoEditor->setLanguage(traits.language);
    m_monacoEditor->setReadOnly(!traits.editable);
    m_monacoEditor->setLineNumbers(traits.lineNumbers);
    m_monacoEditor->setContent(text);
    if (traits.scrollsToEnd) {
        runDetached(scrollToEndSoon());
    }
    m_viewModel->configure(type);
    m_viewModel->setStatus(QString());
    if (type == ConfigurationType::Deployment) {
        m_lastForgeText = text;
        m_viewModel->setProvenance(ScriptProvenance{ScriptProvenance::Forge{}});
        refreshLinkedFileState();
    }
}

QCoro::Task<> ConfigurationWindowController::scrollToEndSoon()
{
    QPointer self(this);
    co_await m_services.sleeper->sleep(ScrollToEndDelay);
    if (self) {
        m_monacoEditor->scrollToBottom();
    }
}

void ConfigurationWindowController::contentDidChange()
{
    markEdited();
    if (m_configType == ConfigurationType::Deployment) {
        m_viewModel->markEdited();
    }
}

void ConfigurationWindowController::markEdited()
{
    if (m_hasChanges) {
        return;
    }
    m_hasChanges = true;
    if (!windowTitle().contains(EditedMarker)) {
        setWindowTitle(windowTitle() + EditedMarker.toString());
    }
}

void ConfigurationWindowController::markClean()
{
    m_hasChanges = false;
    setWindowTitle(windowTitle().remove(EditedMarker.toString()));
}

// --- Saving ------------------------------------------------------------------------------------------

void ConfigurationWindowController::save()
{
    runDetached(runSaveRoad(std::nullopt));
}

void ConfigurationWindowController::editorDidRequestSave(const QString &text)
{
    runDetached(runSaveRoad(text));
}

QCoro::Task<> ConfigurationWindowController::runSaveRoad(std::optional<QString> text)
{
    QPointer self(this);
    if (m_loadUnderWay) {
        // The load replaces whatever the editor holds now: saving it, or closing after it, would be a lie.
        m_closeAfterSave = false;
        if (m_hasChanges) {
            tell(QStringLiteral("Not saved"), QStringLiteral("The text is still loading. Save once it has loaded."));
        }
        co_return;
    }
    // A text that is only read is never saved, whatever the page asks.
    if (!m_configType || !isEditable(*m_configType)) {
        m_closeAfterSave = false;
        co_return;
    }
    if (m_pendingForgeSaveText) {
        // Never a second upload of the same text: once the running save is done, the editor's text is
        // saved again only if it is not what that save stored.
        m_saveAskedMeanwhile = true;
        co_return;
    }
    if (m_saveRoadRunning) {
        co_return;
    }
    m_saveRoadRunning = true;
    if (m_closeAfterSave) {
        m_viewModel->setLoading(true);
        m_viewModel->setSaveEnabled(false);
    }
    if (!text) {
        text = co_await m_monacoEditor->content();
        if (!self) {
            co_return;
        }
    }
    if (!text) {
        abandonSave();
        co_return;
    }
    if (text->contains(QLatin1String("APP_DEBUG=true"))) {
        const Alert question = warning(QStringLiteral("Is this expected?"),
                                       QStringLiteral("Debug mode is enabled in your environment."),
                                       {QStringLiteral("Yes!"), QStringLiteral("Cancel")});
        const int answer = co_await m_services.alerts->ask(question);
        if (!self) {
            co_return;
        }
        if (answer != 0) {
            abandonSave();
            co_return;
        }
    }
    performSave(*text);
}

void ConfigurationWindowController::performSave(const QString &text)
{
    m_saveRoadRunning = false;
    if (!m_delegate) {
        abandonSave();
        return;
    }
    m_viewModel->setLoading(true);
    m_viewModel->setSaveEnabled(false);
    m_pendingForgeSaveText = text;
    const bool runConfigCache = m_configType == ConfigurationType::Env && m_viewModel->runConfigCache();
    m_delegate->saveConfiguration(text, runConfigCache, this);
}

void ConfigurationWindowController::abandonSave()
{
    // Whatever started the road (the Save button or the close question), nothing was saved: Save works
    // again and the window stays open.
    m_saveRoadRunning = false;
    m_closeAfterSave = false;
    m_viewModel->setLoading(false);
    m_viewModel->setSaveEnabled(true);
}

void ConfigurationWindowController::didSave()
{
    runDetached(finishSave());
}

QCoro::Task<> ConfigurationWindowController::finishSave()
{
    QPointer self(this);
    const std::optional<QString> saved = std::exchange(m_pendingForgeSaveText, std::nullopt);
    m_viewModel->setLoading(false);
    m_viewModel->setSaveEnabled(true);
    if (m_configType == ConfigurationType::Deployment && saved) {
        m_lastForgeText = saved;
    }
    // The user may have typed while the save was under way: those edits are not on Forge.
    std::optional<QString> current = saved;
    if (saved && m_hasChanges) {
        current = co_await m_monacoEditor->content();
        if (!self) {
            co_return;
        }
    }
    const bool clean = current == saved;
    if (clean) {
        markClean();
    }
    if (m_configType == ConfigurationType::Deployment) {
        m_viewModel->setProvenance(clean ? ScriptProvenance{ScriptProvenance::Forge{}}
                                         : ScriptProvenance{ScriptProvenance::ForgeEdited{}});
    }
    const bool saveAgain = std::exchange(m_saveAskedMeanwhile, false) && !clean;
    if (m_closeAfterSave && clean) {
        m_closeAfterSave = false;
        closeWithoutAsking();
    } else if (saveAgain) {
        runDetached(runSaveRoad(std::nullopt));
    }
}

void ConfigurationWindowController::showError(const std::optional<QString> &message)
{
    tell(QStringLiteral("Error, something went wrong"), message.value_or(QString()));
    m_pendingForgeSaveText.reset();
    m_saveAskedMeanwhile = false;
    m_viewModel->setLoading(false);
    m_viewModel->setSaveEnabled(true);
}

// --- Closing and reloading ---------------------------------------------------------------------------

void ConfigurationWindowController::editorDidRequestClose()
{
    close();
}

void ConfigurationWindowController::closeEvent(QCloseEvent *event)
{
    if (m_hasChanges && !std::exchange(m_closeConfirmed, false)) {
        event->ignore();
        if (!m_askingToClose) {
            runDetached(askBeforeClosing());
        }
        return;
    }
    QWidget::closeEvent(event);
    // The delegate may let go of this window here; it is deleted later, not now.
    if (m_delegate) {
        m_delegate->configurationWindowDidClose();
    }
}

QCoro::Task<> ConfigurationWindowController::askBeforeClosing()
{
    QPointer self(this);
    m_askingToClose = true;
    const Alert question = warning(QStringLiteral("Your changes will be lost if you don't save them."),
                                   QStringLiteral("Do you want to save the changes you made?"),
                                   {QStringLiteral("Save"), QStringLiteral("Cancel"), QStringLiteral("Don't save")});
    const int answer = co_await m_services.alerts->ask(question);
    if (!self) {
        co_return;
    }
    m_askingToClose = false;
    if (answer == 2) {
        closeWithoutAsking();
    } else if (answer == 0) {
        m_closeAfterSave = true;
        const std::optional<QString> fromEditor;
        co_await runSaveRoad(fromEditor);
    }
}

void ConfigurationWindowController::closeWithoutAsking()
{
    m_closeConfirmed = true;
    close();
    m_closeConfirmed = false;
}

void ConfigurationWindowController::reload()
{
    runDetached(runReload());
}

void ConfigurationWindowController::editorDidRequestReload()
{
    reload();
}

QCoro::Task<> ConfigurationWindowController::runReload()
{
    QPointer self(this);
    if (m_hasChanges) {
        const Alert question = warning(QStringLiteral("Discard changes and reload?"),
                                       QStringLiteral("Your changes will be lost if you don't save them."),
                                       {QStringLiteral("Reload"), QStringLiteral("Cancel")});
        const int answer = co_await m_services.alerts->ask(question);
        if (!self || answer != 0) {
            co_return;
        }
    }
    markClean();
    if (m_delegate) {
        m_delegate->reloadConfiguration();
    }
}

// --- Alerts ------------------------------------------------------------------------------------------

Alert ConfigurationWindowController::warning(const QString &messageText,
                                             const QString &informativeText,
                                             const QStringList &buttons)
{
    return Alert{messageText, informativeText, Alert::Style::Warning, buttons, this};
}

void ConfigurationWindowController::tell(const QString &messageText, const QString &informativeText)
{
    m_services.alerts->show(warning(messageText, informativeText, {QStringLiteral("OK")}));
}

void ConfigurationWindowController::showInFileManager(const QString &path)
{
    // The folder that holds it: Linux has no common way to ask a file manager to select one file.
    m_services.urlOpener->openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

void DeleteWindowLater::operator()(ConfigurationWindowController *window) const
{
    window->setDelegate(nullptr);
    window->hide();
    window->deleteLater();
}

} // namespace plimsy
