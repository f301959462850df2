#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace plimsy {

// The Edit Account Name sheet: accepted with a name that is not blank, rejected on Cancel. It keeps
// nothing itself; its opener stores the name.
class RenameForgeAccountView : public QDialog
{
    Q_OBJECT

public:
    explicit RenameForgeAccountView(const QString &name, QWidget *parent = nullptr);

    // The entered name without surrounding white space.
    QString name() const;

private:
    QLineEdit *m_name;
    QPushButton *m_save;

    Q_DISABLE_COPY_MOVE(RenameForgeAccountView)
};

} // namespace plimsy
