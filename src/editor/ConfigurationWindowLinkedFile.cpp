// The deployment script's link to a local file: load from it, write to it, forget, locate and show it.
#include "core/RunDetached.h"
#include "editor/ConfigurationEditorViewModel.h"
#include "editor/ConfigurationWindowController.h"
#include "editor/ConfigurationWindowDelegate.h"
#include "editor/MonacoEditorView.h"
#include "editor/ScriptFile.h"
#include "platform/AlertPresenter.h"

#include <QFileInfo>
#include <QPointer>

namespace plimsy {

namespace {

QString fileName(const QString &path)
{
    return QFileInfo(path).fileName();
}

QString folderOf(const std::optional<QString> &path)
{
    return path ? QFileInfo(*path).absolutePath() : QString();
}

} // namespace

bool ConfigurationWindowController::isDeploymentScript() const
{
    return m_configType == ConfigurationType::Deployment;
}

std::optional<QString> ConfigurationWindowController::linkedPath() const
{
    return m_delegate ? m_delegate->linkedScriptPath() : std::nullopt;
}

void ConfigurationWindowController::refreshLinkedFileState()
{
    const std::optional<QString> path = linkedPath();
    m_viewModel->setAssociatedFile(path, path && !QFileInfo::exists(*path));
}

void ConfigurationWindowController::loadFromLinkedFile()
{
    runDetached(runLoadFromLinkedFile());
}

QCoro::Task<> ConfigurationWindowController::runLoadFromLinkedFile()
{
    QPointer self(this);
    if (!isDeploymentScript()) {
        co_return;
    }
    const std::optional<QString> path = linkedPath();
    if (!path || m_viewModel->associatedFileMissing()) {
        co_await runLoadFromDifferentFile();
        co_return;
    }
    const bool mayLoad = co_await mayDiscardChanges();
    if (self && mayLoad) {
        co_await readScript(*path);
    }
}

void ConfigurationWindowController::loadFromDifferentFile()
{
    runDetached(runLoadFromDifferentFile());
}

QCoro::Task<> ConfigurationWindowController::runLoadFromDifferentFile()
{
    QPointer self(this);
    if (!isDeploymentScript()) {
        co_return;
    }
    const bool mayLoad = co_await mayDiscardChanges();
    if (!self || !mayLoad) {
        co_return;
    }
    FilePanel panel;
    panel.kind = FilePanel::Kind::Open;
    panel.directory = folderOf(linkedPath());
    panel.window = this;
    const QString chosen = co_await m_services.alerts->chooseFile(panel);
    if (self && !chosen.isEmpty()) {
        co_await readScript(chosen);
    }
}

QCoro::Task<bool> ConfigurationWindowController::mayDiscardChanges()
{
    if (!m_hasChanges) {
        co_return true;
    }
    const Alert question = warning(QStringLiteral("Discard changes and load file?"),
                                   QStringLiteral("Your changes will be lost if you don't save them."),
                                   {QStringLiteral("Load"), QStringLiteral("Cancel")});
    const int answer = co_await m_services.alerts->ask(question);
    co_return answer == 0;
}

QCoro::Task<> ConfigurationWindowController::readScript(QString path)
{
    QPointer self(this);
    auto read = readScriptFile(path);
    if (const QString *error = std::get_if<QString>(&read)) {
        tell(QStringLiteral("Couldn't Read File"), *error);
        co_return;
    }
    const ScriptFileContents file = std::get<ScriptFileContents>(std::move(read));
    const std::optional<QString> current = co_await m_monacoEditor->content();
    if (!self) {
        co_return;
    }
    m_monacoEditor->setContent(file.text);
    if (!current || *current != file.text) {
        markEdited();
        m_viewModel->setSaveEnabled(true);
    }
    m_lastReadModificationDate = file.modified;
    if (m_delegate) {
        m_delegate->setLinkedScriptPath(path);
    }
    m_viewModel->setProvenance(ScriptProvenance{ScriptProvenance::File{fileName(path)}});
    refreshLinkedFileState();
}

void ConfigurationWindowController::writeToFile()
{
    if (!isDeploymentScript()) {
        return;
    }
    if (const std::optional<QString> path = linkedPath()) {
        runDetached(writeScript(*path, true));
    } else {
        saveToDifferentFile();
    }
}

void ConfigurationWindowController::saveToDifferentFile()
{
    runDetached(runSaveToDifferentFile());
}

QCoro::Task<> ConfigurationWindowController::runSaveToDifferentFile()
{
    QPointer self(this);
    if (!isDeploymentScript()) {
        co_return;
    }
    const std::optional<QString> linked = linkedPath();
    FilePanel panel;
    panel.kind = FilePanel::Kind::Save;
    panel.directory = folderOf(linked);
    panel.fileName = linked ? fileName(*linked) : QStringLiteral("deploy.sh");
    panel.window = this;
    const QString chosen = co_await m_services.alerts->chooseFile(panel);
    if (self && !chosen.isEmpty()) {
        co_await writeScript(chosen, linked && *linked == chosen);
    }
}

QCoro::Task<> ConfigurationWindowController::writeScript(QString path, bool sameAsLinked)
{
    QPointer self(this);
    if (const std::optional<QString> owner = m_delegate ? m_delegate->linkedScriptOwner(path) : std::nullopt) {
        const Alert question = warning(
            fileName(path) + QStringLiteral(" belongs to ") + *owner,
            QStringLiteral("This file is the deployment script file for ") + *owner + QStringLiteral(":\n") + path
                + QStringLiteral("\n\nSaving will overwrite that site's script. Use Save to Different File… to pick a "
                                 "file for this site."),
            {QStringLiteral("Cancel"), QStringLiteral("Overwrite")});
        const int answer = co_await m_services.alerts->ask(question);
        if (!self || answer != 1) {
            co_return;
        }
    }
    if (sameAsLinked) {
        const bool mayWrite = co_await mayOverwrite(path);
        if (!self || !mayWrite) {
            co_return;
        }
    }
    const std::optional<QString> text = co_await m_monacoEditor->content();
    if (!self || !text) {
        co_return;
    }
    if (const std::optional<QString> error = writeScriptFile(path, *text)) {
        tell(QStringLiteral("Couldn't Save File"), *error);
        co_return;
    }
    m_lastReadModificationDate = scriptFileModified(path);
    if (m_delegate) {
        m_delegate->setLinkedScriptPath(path);
    }
    m_viewModel->setProvenance(
        ScriptProvenance{ScriptProvenance::WrittenToFile{fileName(path), m_lastForgeText == text}});
    refreshLinkedFileState();
}

QCoro::Task<bool> ConfigurationWindowController::mayOverwrite(QString path)
{
    QPointer self(this);
    const std::optional<QDateTime> current = scriptFileModified(path);
    bool changedOutside = false;
    if (m_lastReadModificationDate) {
        changedOutside = current && *current > *m_lastReadModificationDate;
    } else if (current) {
        // Not read in this window (a relaunch, a located file): only a file that already holds this text
        // may be written without asking.
        const std::optional<QString> text = co_await m_monacoEditor->content();
        if (!self) {
            co_return false;
        }
        const auto onDisk = readScriptFile(path);
        const auto *file = std::get_if<ScriptFileContents>(&onDisk);
        changedOutside = !file || !text || file->text != *text;
    }
    if (!changedOutside) {
        co_return true;
    }
    const Alert question =
        warning(fileName(path) + QStringLiteral(" was modified since you loaded it. Overwrite?"),
                QString(),
                {QStringLiteral("Overwrite"), QStringLiteral("Cancel"), QStringLiteral("Show in File Manager")});
    const int answer = co_await m_services.alerts->ask(question);
    if (self && answer == 2) {
        showInFileManager(path);
    }
    co_return answer == 0;
}

void ConfigurationWindowController::revealFile()
{
    if (const std::optional<QString> path = linkedPath()) {
        showInFileManager(*path);
    }
}

void ConfigurationWindowController::forgetFile()
{
    if (m_delegate) {
        m_delegate->setLinkedScriptPath(std::nullopt);
    }
    m_lastReadModificationDate.reset();
    m_viewModel->setProvenance(m_hasChanges ? ScriptProvenance{ScriptProvenance::ForgeEdited{}}
                                            : ScriptProvenance{ScriptProvenance::Forge{}});
    refreshLinkedFileState();
}

void ConfigurationWindowController::locateFile()
{
    runDetached(runLocateFile());
}

QCoro::Task<> ConfigurationWindowController::runLocateFile()
{
    QPointer self(this);
    FilePanel panel;
    panel.kind = FilePanel::Kind::Open;
    panel.window = this;
    const QString chosen = co_await m_services.alerts->chooseFile(panel);
    if (!self || chosen.isEmpty()) {
        co_return;
    }
    if (m_delegate) {
        m_delegate->setLinkedScriptPath(chosen);
    }
    m_lastReadModificationDate.reset();
    refreshLinkedFileState();
}

} // namespace plimsy
