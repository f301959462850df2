#pragma once

#include "editor/ConfigurationWindowController.h"
#include "editor/ConfigurationWindowDelegate.h"
#include "editor/LogWindowProtocol.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace plimsy {

// The object behind a window on a local log file: reads the file off the GUI thread and shows it
// read-only; reloads it on request; posts "windowClosed" with its uuid when the window closes. It never
// saves and links no file. GUI thread.
class LogWindowDispatcher : public QObject, public LogWindowProtocol, public ConfigurationWindowDelegate
{
    Q_OBJECT

public:
    LogWindowDispatcher(QString uuid,
                        QUrl url,
                        std::unique_ptr<ConfigurationWindowController> configWindow,
                        QObject *parent = nullptr);
    ~LogWindowDispatcher() override;

    QString uuid() const override { return m_uuid; }
    ConfigurationWindowController *configWindow() const override { return m_configWindow.get(); }
    QUrl url() const { return m_url; }

    // A file that cannot be read as UTF-8 ends loading with a line that says so.
    void show();

    void reloadConfiguration() override;
    void configurationWindowDidClose() override;

    // The file's text, read on a worker thread; none when it cannot be read or is not UTF-8.
    static QCoro::Task<std::optional<QString>> readTextFile(QString path);

private:
    QCoro::Task<> load();

    QString m_uuid;
    QUrl m_url;
    OwnedConfigurationWindow m_configWindow;

    Q_DISABLE_COPY_MOVE(LogWindowDispatcher)
};

} // namespace plimsy
