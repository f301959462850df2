#include "editor/ConfigurationWindowController.h"

#include "editor/ConfigurationWindowDelegate.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

namespace plimsy {

ConfigurationWindowController::ConfigurationWindowController(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_readOnlyNote(new QLabel(this))
    , m_content(new QPlainTextEdit(this))
{
    setWindowTitle(QStringLiteral("Configuration"));
    resize(535, 419);
    setMinimumSize(400, 400);

    m_readOnlyNote->setObjectName(QStringLiteral("readOnlyNoteLabel"));
    m_readOnlyNote->setText(QStringLiteral("Read-only: editing and saving are not available in this version yet."));
    m_readOnlyNote->setWordWrap(true);
    m_readOnlyNote->hide();

    m_content->setObjectName(QStringLiteral("contentTextEdit"));
    m_content->setReadOnly(true);
    m_content->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_content->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_readOnlyNote);
    layout->addWidget(m_content);
}

ConfigurationWindowController::~ConfigurationWindowController() = default;

void ConfigurationWindowController::beginLoading()
{
    m_isLoading = true;
    m_content->clear();
    m_content->setPlaceholderText(QStringLiteral("Loading…"));
}

void ConfigurationWindowController::setContent(ConfigurationType type, const QString &text)
{
    m_configType = type;
    m_isLoading = false;
    m_content->setPlaceholderText({});
    m_content->setPlainText(text);
    m_readOnlyNote->setVisible(isEditable(type));
    if (scrollsToEnd(type)) {
        m_content->verticalScrollBar()->setValue(m_content->verticalScrollBar()->maximum());
        m_content->moveCursor(QTextCursor::End);
    }
}

QString ConfigurationWindowController::text() const
{
    return m_content->toPlainText();
}

void ConfigurationWindowController::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    // The delegate may drop its hold on this window here; it is deleted later, not now.
    if (event->isAccepted() && m_delegate) {
        m_delegate->configurationWindowDidClose();
    }
}

void DeleteWindowLater::operator()(ConfigurationWindowController *window) const
{
    window->setDelegate(nullptr);
    window->hide();
    window->deleteLater();
}

} // namespace plimsy
