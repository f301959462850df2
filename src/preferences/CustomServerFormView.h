#pragma once

#include "menu/CustomServer.h"

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace plimsy {

// The sheet that adds or edits one custom server. What it saves becomes an ssh login, so "Save" stays
// disabled, and one line under the fields says why, until the name is not blank, the host and user are
// what ssh may be given and the port is empty or a number from 1 to 65535. GUI thread.
class CustomServerFormView : public QDialog
{
    Q_OBJECT

public:
    // Fills the fields from `server`; none adds a new one.
    explicit CustomServerFormView(const std::optional<CustomServer> &server, QWidget *parent = nullptr);

    // Why these texts cannot be saved, or none.
    static std::optional<QString>
    inputProblem(const QString &name, const QString &host, const QString &user, const QString &port);
    // Plain decimal digits from 1 to 65535; none for anything else.
    static std::optional<qint64> parsePort(const QString &text);

    // The server the fields describe, keeping the edited server's id; valid only while inputProblem has
    // none.
    CustomServer server() const;

private:
    QLineEdit *addField(const QString &objectName, const QString &text);
    void updateProblem();

    QUuid m_id;
    QLineEdit *m_name;
    QLineEdit *m_host;
    QLineEdit *m_user;
    QLineEdit *m_port;
    QLabel *m_problem;
    QPushButton *m_save;

    Q_DISABLE_COPY_MOVE(CustomServerFormView)
};

} // namespace plimsy
