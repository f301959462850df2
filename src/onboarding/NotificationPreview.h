#pragma once

#include <QWidget>

namespace plimsy {

// A drawn sample of a deployment notice: the application icon, "Deployment Successful" and a site, on
// a rounded card with a soft shadow.
class NotificationPreview : public QWidget
{
    Q_OBJECT

public:
    explicit NotificationPreview(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Q_DISABLE_COPY_MOVE(NotificationPreview)
};

} // namespace plimsy
