#pragma once

#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace plimsy {

class ConfigurationEditorViewModel;
class MonacoEditorView;

// What the toolbar's controls ask of their window.
struct ConfigurationEditorActions
{
    std::function<void()> onReload;
    std::function<void()> onSave;
    std::function<void()> onLoadFromFile;
    std::function<void()> onLoadFromDifferentFile;
    std::function<void()> onWriteToFile;
    std::function<void()> onWriteToDifferentFile;
    std::function<void()> onRevealFile;
    std::function<void()> onForgetFile;
    std::function<void()> onLocateFile;
};

// A configuration window's content: the toolbar (reload, the script's file menu, the cache option, the
// status line, progress and Save) over a divider and the editor. It follows its view model.
class ConfigurationEditorView : public QWidget
{
    Q_OBJECT

public:
    // The editor is placed here; neither it nor the model is owned.
    ConfigurationEditorView(ConfigurationEditorViewModel &viewModel,
                            MonacoEditorView *editor,
                            ConfigurationEditorActions actions,
                            QWidget *parent = nullptr);

    // The file menu's items for the model's current state (rebuilt each time it opens).
    void fillFileMenu(QMenu *menu) const;

private:
    void handleViewModelChanged();

    ConfigurationEditorViewModel &m_viewModel;
    ConfigurationEditorActions m_actions;
    QToolButton *m_reloadButton;
    QToolButton *m_fileMenuButton;
    QCheckBox *m_clearCachesCheckBox;
    QLabel *m_statusLabel;
    QProgressBar *m_progress;
    QPushButton *m_saveButton;

    Q_DISABLE_COPY_MOVE(ConfigurationEditorView)
};

} // namespace plimsy
