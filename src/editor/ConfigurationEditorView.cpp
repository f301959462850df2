#include "editor/ConfigurationEditorView.h"

#include "editor/ConfigurationEditorViewModel.h"
#include "editor/MonacoEditorView.h"

#include <QCheckBox>
#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace plimsy {

namespace {

const QColor Orange(0xE6, 0x7E, 0x22);
const QColor Red(0xD0, 0x30, 0x30);

// The icon drawn in one colour, as a template image is tinted.
QIcon tinted(const QIcon &icon, const QColor &color, int size)
{
    QPixmap pixmap = icon.pixmap(size, size);
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
    painter.end();
    return QIcon(pixmap);
}

QString withTilde(const QString &path)
{
    const QString home = QDir::homePath();
    if (path == home || path.startsWith(home + u'/')) {
        return u'~' + path.mid(home.size());
    }
    return path;
}

QAction *addItem(QMenu *menu, const QString &title, const std::function<void()> &action, bool enabled = true)
{
    QAction *item = menu->addAction(title);
    item->setEnabled(enabled);
    QObject::connect(item, &QAction::triggered, menu, [action] {
        if (action) {
            action();
        }
    });
    return item;
}

} // namespace

ConfigurationEditorView::ConfigurationEditorView(ConfigurationEditorViewModel &viewModel,
                                                 MonacoEditorView *editor,
                                                 ConfigurationEditorActions actions,
                                                 QWidget *parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_actions(std::move(actions))
    , m_reloadButton(new QToolButton(this))
    , m_fileMenuButton(new QToolButton(this))
    , m_clearCachesCheckBox(new QCheckBox(QStringLiteral("Clear caches after save"), this))
    , m_statusLabel(new QLabel(this))
    , m_progress(new QProgressBar(this))
    , m_saveButton(new QPushButton(this))
{
    m_reloadButton->setObjectName(QStringLiteral("reloadButton"));
    m_reloadButton->setAutoRaise(true);
    m_reloadButton->setIcon(
        QIcon::fromTheme(QStringLiteral("view-refresh"), style()->standardIcon(QStyle::SP_BrowserReload)));
    connect(m_reloadButton, &QToolButton::clicked, this, [this] {
        if (m_actions.onReload) {
            m_actions.onReload();
        }
    });

    m_fileMenuButton->setObjectName(QStringLiteral("fileMenuButton"));
    m_fileMenuButton->setAutoRaise(true);
    m_fileMenuButton->setPopupMode(QToolButton::InstantPopup);
    m_fileMenuButton->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    auto *fileMenu = new QMenu(m_fileMenuButton);
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    connect(fileMenu, &QMenu::aboutToShow, this, [this, fileMenu] {
        fileMenu->clear();
        fillFileMenu(fileMenu);
    });
    m_fileMenuButton->setMenu(fileMenu);

    m_clearCachesCheckBox->setObjectName(QStringLiteral("clearCachesCheckBox"));
    connect(m_clearCachesCheckBox, &QCheckBox::toggled, this, [this](bool checked) {
        m_viewModel.setRunConfigCache(checked);
    });

    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    QFont small = m_statusLabel->font();
    small.setPixelSize(11);
    m_statusLabel->setFont(small);
    m_statusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_progress->setObjectName(QStringLiteral("progressIndicator"));
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setFixedSize(48, 8);

    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    m_saveButton->setDefault(false);
    m_saveButton->setAutoDefault(false);
    connect(m_saveButton, &QPushButton::clicked, this, [this] {
        if (m_actions.onSave) {
            m_actions.onSave();
        }
    });

    auto *toolbar = new QHBoxLayout;
    toolbar->setContentsMargins(12, 8, 12, 8);
    toolbar->setSpacing(12);
    toolbar->addWidget(m_reloadButton);
    toolbar->addWidget(m_fileMenuButton);
    toolbar->addWidget(m_clearCachesCheckBox);
    toolbar->addWidget(m_statusLabel, 1);
    toolbar->addWidget(m_progress);
    toolbar->addWidget(m_saveButton);

    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(toolbar);
    layout->addWidget(divider);
    layout->addWidget(editor, 1);

    connect(
        &m_viewModel, &ConfigurationEditorViewModel::changed, this, &ConfigurationEditorView::handleViewModelChanged);
    handleViewModelChanged();
}

void ConfigurationEditorView::handleViewModelChanged()
{
    const ConfigurationEditorViewModel &model = m_viewModel;
    const QString reload = model.fileMenuVisible() ? QStringLiteral("Reload from Forge") : QStringLiteral("Reload");
    m_reloadButton->setToolTip(reload);
    // Icon-only: screen readers read this instead.
    m_reloadButton->setAccessibleName(reload);

    m_fileMenuButton->setVisible(model.fileMenuVisible());
    const QIcon document =
        QIcon::fromTheme(QStringLiteral("text-x-generic"), style()->standardIcon(QStyle::SP_FileIcon));
    const QPalette &colours = palette();
    const QColor tint = model.associatedFileMissing() ? Orange
                        : model.associatedFileName()  ? colours.color(QPalette::Highlight)
                                                      : colours.color(QPalette::PlaceholderText);
    m_fileMenuButton->setIcon(tinted(document, tint, 16));
    m_fileMenuButton->setToolTip(
        model.fileHelpText().value_or(QStringLiteral("Link a file to this deployment script")));

    m_clearCachesCheckBox->setVisible(model.showsConfigCacheOption());
    m_clearCachesCheckBox->setChecked(model.runConfigCache());

    QString status;
    QColor statusColour = colours.color(QPalette::PlaceholderText);
    if (!model.statusMessage().isEmpty()) {
        status = model.statusMessage();
        if (model.statusIsError()) {
            statusColour = Red;
        }
    } else if (const auto provenance = model.provenance()) {
        status = provenance->text();
        if (provenance->tone() == ScriptProvenance::Tone::Warning) {
            statusColour = Orange;
        }
    }
    m_statusLabel->setText(status);
    QPalette statusPalette = m_statusLabel->palette();
    statusPalette.setColor(QPalette::WindowText, statusColour);
    m_statusLabel->setPalette(statusPalette);

    m_progress->setVisible(model.isLoading());
    m_saveButton->setVisible(model.showsSaveButton());
    m_saveButton->setText(model.saveButtonTitle());
    m_saveButton->setEnabled(model.isSaveEnabled());
}

void ConfigurationEditorView::fillFileMenu(QMenu *menu) const
{
    const ConfigurationEditorViewModel &model = m_viewModel;
    const bool canSave = model.isSaveEnabled();
    const auto name = model.associatedFileName();
    if (!name) {
        addItem(menu, QStringLiteral("Load from File…"), m_actions.onLoadFromFile);
        addItem(menu, QStringLiteral("Save to File…"), m_actions.onWriteToFile, canSave);
        return;
    }
    const bool missing = model.associatedFileMissing();
    menu->addAction(missing ? *name + QStringLiteral(" (not found)") : *name)->setEnabled(false);
    menu->addAction(withTilde(model.associatedFilePath().value_or(QString())))->setEnabled(false);
    menu->addSeparator();
    addItem(menu, QStringLiteral("Reload from File"), m_actions.onLoadFromFile, !missing);
    if (missing) {
        addItem(menu, QStringLiteral("Locate File…"), m_actions.onLocateFile);
    }
    addItem(menu, QStringLiteral("Save to File"), m_actions.onWriteToFile, canSave);
    addItem(menu, QStringLiteral("Show in File Manager"), m_actions.onRevealFile, !missing);
    menu->addSeparator();
    addItem(menu, QStringLiteral("Load from Different File…"), m_actions.onLoadFromDifferentFile);
    addItem(menu, QStringLiteral("Save to Different File…"), m_actions.onWriteToDifferentFile, canSave);
    addItem(menu, QStringLiteral("Forget File"), m_actions.onForgetFile);
}

} // namespace plimsy
