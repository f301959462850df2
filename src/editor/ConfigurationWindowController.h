#pragma once

#include "editor/ConfigurationType.h"

#include <QWidget>

#include <memory>
#include <optional>

class QCloseEvent;
class QLabel;
class QPlainTextEdit;

namespace plimsy {

class ConfigurationWindowDelegate;

// The window of one configuration or log text. This build shows every text read-only; an editable kind
// says so in a note above the text. GUI thread.
class ConfigurationWindowController : public QWidget
{
    Q_OBJECT

public:
    explicit ConfigurationWindowController(QWidget *parent = nullptr);
    ~ConfigurationWindowController() override;

    // Not owned; told when the window closes. Whoever sets it clears it before going away.
    ConfigurationWindowDelegate *delegate() const { return m_delegate; }
    void setDelegate(ConfigurationWindowDelegate *delegate) { m_delegate = delegate; }

    // Empties the text and shows that it is loading.
    void beginLoading();
    bool isLoading() const { return m_isLoading; }
    // Shows a loaded text for its kind.
    void setContent(ConfigurationType type, const QString &text);
    std::optional<ConfigurationType> configType() const { return m_configType; }
    QString text() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    ConfigurationWindowDelegate *m_delegate = nullptr;
    std::optional<ConfigurationType> m_configType;
    bool m_isLoading = false;
    QLabel *m_readOnlyNote;
    QPlainTextEdit *m_content;

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
