#pragma once

#include <QWidget>

class QToolButton;

namespace plimsy {

// The small add / remove (/ edit) buttons under a Preferences table. Add is always enabled; the
// owner enables the others. The edit button exists only when asked for at creation.
class PreferencesAddRemoveGadget : public QWidget
{
    Q_OBJECT

public:
    explicit PreferencesAddRemoveGadget(bool hasEdit, QWidget *parent = nullptr);

    void setRemoveEnabled(bool enabled);
    void setEditEnabled(bool enabled);

Q_SIGNALS:
    void addClicked();
    void removeClicked();
    void editClicked();

private:
    QToolButton *
    addButton(const QString &objectName, const QStringList &iconNames, const QString &fallback, const QString &tip);

    QToolButton *m_remove = nullptr;
    QToolButton *m_edit = nullptr;

    Q_DISABLE_COPY_MOVE(PreferencesAddRemoveGadget)
};

} // namespace plimsy
