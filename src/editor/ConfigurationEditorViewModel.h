#pragma once

#include "editor/ConfigurationType.h"
#include "editor/ScriptProvenance.h"

#include <QObject>
#include <QString>

#include <optional>

namespace plimsy {

class UserDefaults;

// The state of a configuration window's toolbar: Save button, progress, status line, file menu of a
// deployment script and the "Clear caches after save" option. The window writes it; the toolbar reads it
// and redraws on `changed`, which is emitted once per write that changes a value. GUI thread.
class ConfigurationEditorViewModel : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *RunConfigCacheKey = "runConfigCacheAfterEnvSave";

    // `defaults` keeps the cache option for every later window; it must outlive the model.
    explicit ConfigurationEditorViewModel(UserDefaults &defaults, QObject *parent = nullptr);

    bool isLoading() const { return m_isLoading; }
    bool isSaveEnabled() const { return m_isSaveEnabled; }
    bool showsSaveButton() const { return m_showsSaveButton; }
    bool showsConfigCacheOption() const { return m_showsConfigCacheOption; }
    bool runConfigCache() const { return m_runConfigCache; }
    QString statusMessage() const { return m_statusMessage; }
    bool statusIsError() const { return m_statusIsError; }
    QString saveButtonTitle() const { return m_saveButtonTitle; }
    bool fileMenuVisible() const { return m_fileMenuVisible; }
    std::optional<QString> associatedFileName() const { return m_associatedFileName; }
    std::optional<QString> associatedFilePath() const { return m_associatedFilePath; }
    bool associatedFileMissing() const { return m_associatedFileMissing; }
    std::optional<ScriptProvenance> provenance() const { return m_provenance; }

    void setLoading(bool loading);
    void setSaveEnabled(bool enabled);
    // Stored at once under runConfigCacheAfterEnvSave.
    void setRunConfigCache(bool run);
    void setStatus(const QString &message, bool isError = false);
    void setAssociatedFile(std::optional<QString> path, bool missing);
    void setProvenance(std::optional<ScriptProvenance> provenance);

    // Shows the controls of a kind; runs on every load.
    void configure(ConfigurationType type);
    // A user edit of a deployment script.
    void markEdited();

    // The file menu's hint: none without a linked file.
    std::optional<QString> fileHelpText() const;

Q_SIGNALS:
    void changed();

private:
    template <typename T> void assign(T &field, T value);

    UserDefaults &m_defaults;
    bool m_isLoading = false;
    bool m_isSaveEnabled = false;
    bool m_showsSaveButton = false;
    bool m_showsConfigCacheOption = false;
    bool m_runConfigCache = false;
    QString m_statusMessage;
    bool m_statusIsError = false;
    QString m_saveButtonTitle = QStringLiteral("Save");
    bool m_fileMenuVisible = false;
    std::optional<QString> m_associatedFileName;
    std::optional<QString> m_associatedFilePath;
    bool m_associatedFileMissing = false;
    std::optional<ScriptProvenance> m_provenance;

    Q_DISABLE_COPY_MOVE(ConfigurationEditorViewModel)
};

} // namespace plimsy
