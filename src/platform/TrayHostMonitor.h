#pragma once

#include <QObject>

#include <memory>

namespace plimsy {

// Whether the desktop shows tray items: a StatusNotifier host registered with the watcher on the session
// bus, or an XEmbed tray holding its selection on the X11 screen. Follows both as they come and go, so a
// host started after Plimsy is noticed. GUI thread.
class TrayHostMonitor : public QObject
{
    Q_OBJECT

public:
    static constexpr char WatcherService[] = "org.kde.StatusNotifierWatcher";
    static constexpr char WatcherPath[] = "/StatusNotifierWatcher";

    explicit TrayHostMonitor(QObject *parent = nullptr);
    ~TrayHostMonitor() override;

    bool hasHost() const { return m_hasStatusNotifierHost || m_hasXEmbedTray; }
    bool hasStatusNotifierHost() const { return m_hasStatusNotifierHost; }
    // False until the session bus has answered the first question.
    bool isKnown() const { return m_isKnown; }

Q_SIGNALS:
    // Each time the answer changes, and once when the first answer is in.
    void hostChanged(bool hasHost);

private Q_SLOTS:
    // Targets of the watcher's D-Bus signals, which QtDBus connects by name only.
    void handleWatcherSignal();

private:
    class XEmbedTray;

    void askWatcher();
    void setStatusNotifierHost(bool registered);
    void setXEmbedTray(bool present);

    std::unique_ptr<XEmbedTray> m_xembed;
    quint64 m_question = 0;
    bool m_hasStatusNotifierHost = false;
    bool m_hasXEmbedTray = false;
    bool m_isKnown = false;

    Q_DISABLE_COPY_MOVE(TrayHostMonitor)
};

} // namespace plimsy
