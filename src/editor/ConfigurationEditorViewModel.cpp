#include "editor/ConfigurationEditorViewModel.h"

#include "platform/UserDefaults.h"

#include <QFileInfo>

namespace plimsy {

ConfigurationEditorViewModel::ConfigurationEditorViewModel(UserDefaults &defaults, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_runConfigCache(defaults.boolValue(QString::fromLatin1(RunConfigCacheKey)))
{
}

template <typename T> void ConfigurationEditorViewModel::assign(T &field, T value)
{
    if (field == value) {
        return;
    }
    field = std::move(value);
    Q_EMIT changed();
}

void ConfigurationEditorViewModel::setLoading(bool loading)
{
    assign(m_isLoading, loading);
}

void ConfigurationEditorViewModel::setSaveEnabled(bool enabled)
{
    assign(m_isSaveEnabled, enabled);
}

void ConfigurationEditorViewModel::setRunConfigCache(bool run)
{
    if (run == m_runConfigCache) {
        return;
    }
    m_defaults.setValue(QString::fromLatin1(RunConfigCacheKey), run);
    assign(m_runConfigCache, run);
}

void ConfigurationEditorViewModel::setStatus(const QString &message, bool isError)
{
    if (message == m_statusMessage && isError == m_statusIsError) {
        return;
    }
    m_statusMessage = message;
    m_statusIsError = isError;
    Q_EMIT changed();
}

void ConfigurationEditorViewModel::setAssociatedFile(std::optional<QString> path, bool missing)
{
    std::optional<QString> name;
    if (path) {
        name = QFileInfo(*path).fileName();
    }
    if (path == m_associatedFilePath && name == m_associatedFileName && missing == m_associatedFileMissing) {
        return;
    }
    m_associatedFileName = std::move(name);
    m_associatedFilePath = std::move(path);
    m_associatedFileMissing = missing;
    Q_EMIT changed();
}

void ConfigurationEditorViewModel::setProvenance(std::optional<ScriptProvenance> provenance)
{
    assign(m_provenance, std::move(provenance));
}

void ConfigurationEditorViewModel::configure(ConfigurationType type)
{
    const ConfigurationTraits &traits = traitsOf(type);
    {
        const QSignalBlocker batch(this);
        setSaveEnabled(traits.editable);
        m_showsSaveButton = traits.editable;
        m_showsConfigCacheOption = traits.configCacheOption;
        m_saveButtonTitle = traits.saveButtonTitle.isEmpty() ? QStringLiteral("Save") : traits.saveButtonTitle;
        m_fileMenuVisible = traits.fileMenu;
        if (!traits.fileMenu) {
            setAssociatedFile(std::nullopt, false);
            setProvenance(std::nullopt);
        }
        setLoading(false);
    }
    Q_EMIT changed();
}

void ConfigurationEditorViewModel::markEdited()
{
    setProvenance(m_provenance ? m_provenance->edited() : ScriptProvenance{ScriptProvenance::ForgeEdited{}});
}

std::optional<QString> ConfigurationEditorViewModel::fileHelpText() const
{
    if (!m_associatedFileName) {
        return std::nullopt;
    }
    if (m_associatedFileMissing) {
        return QStringLiteral("File not found. Use Locate File… in the file menu.");
    }
    return m_associatedFilePath;
}

} // namespace plimsy
