#pragma once

#include "platform/AlertPresenter.h"

#include <QHash>
#include <QPointer>

class QMessageBox;

namespace plimsy {

// Alerts as QMessageBoxes (window-modal on their window, else application-modal) and file panels as
// QFileDialogs, all shown with open() so no event loop is nested.
class SystemAlertPresenter final : public AlertPresenter
{
    Q_OBJECT

public:
    explicit SystemAlertPresenter(QObject *parent = nullptr);

    AlertId show(const Alert &alert) override;
    void close(AlertId id) override;
    bool isShowing(AlertId id) const override;
    AlertId showFilePanel(const FilePanel &panel) override;

private:
    void finish(AlertId id, int button);

    QHash<AlertId, QPointer<QMessageBox>> m_boxes;

    Q_DISABLE_COPY_MOVE(SystemAlertPresenter)
};

} // namespace plimsy
