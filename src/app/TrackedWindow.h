#pragma once

#include "menu/WindowController.h"
#include "platform/DockVisibilityManager.h"

#include <QObject>
#include <QString>
#include <QWidget>

#include <memory>

namespace plimsy {

// A window of the shell that counts itself among the open windows while it is shown. The window is
// built when first shown and kept when closed; releasing the controller closes an open window first,
// so the count never keeps a window that is gone. GUI thread.
class TrackedWindow : public QObject, public WindowController
{
    Q_OBJECT

public:
    ~TrackedWindow() override;

    void showWindow() override;
    void close();

    // None until first shown.
    QWidget *window() const { return m_window.get(); }
    bool isTrackedAsOpen() const { return m_tracker.isTrackedAsOpen(); }

protected:
    // `name` is the class name of the trace printed on release.
    explicit TrackedWindow(QString name, QObject *parent = nullptr);

    virtual std::unique_ptr<QWidget> makeWindow() = 0;
    // A top-level window with a title, close and minimise buttons.
    static std::unique_ptr<QWidget> makeFrame(const QString &objectName, const QString &title);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString m_name;
    std::unique_ptr<QWidget> m_window;
    WindowVisibilityTracker m_tracker;

    Q_DISABLE_COPY_MOVE(TrackedWindow)
};

} // namespace plimsy
