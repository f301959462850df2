#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QList>
#include <QString>

#include <functional>
#include <utility>

namespace plimsy {

class UserDefaults;

// A pop-up of choices for one integer setting in the user defaults; each item's data is the value it
// stores. It shows the value `shownValue` gives (no item when it offers none). Picking a choice writes
// the key and emits `valueChosen` only when the value differs from the one shown. GUI thread.
class DefaultsPicker : public QComboBox
{
    Q_OBJECT

public:
    using Choice = std::pair<QString, qint64>;

    DefaultsPicker(UserDefaults &defaults,
                   QString key,
                   const QList<Choice> &choices,
                   std::function<qint64()> shownValue,
                   QWidget *parent = nullptr);

    // Shows the setting as it is stored now.
    void reload();

Q_SIGNALS:
    void valueChosen(qint64 value);

private:
    void handleActivated(int index);

    UserDefaults &m_defaults;
    QString m_key;
    std::function<qint64()> m_shownValue;
    qint64 m_shown = 0;

    Q_DISABLE_COPY_MOVE(DefaultsPicker)
};

// A check box for one Bool setting in the user defaults: it shows the stored value (a registered
// default counts), `fallback` while the key holds none, and writes the key when the user changes it.
// GUI thread.
class DefaultsCheckBox : public QCheckBox
{
    Q_OBJECT

public:
    DefaultsCheckBox(
        const QString &text, UserDefaults &defaults, QString key, bool fallback, QWidget *parent = nullptr);

    void reload();

Q_SIGNALS:
    // After the key was written.
    void valueChanged(bool isOn);

private:
    UserDefaults &m_defaults;
    QString m_key;
    bool m_fallback;

    Q_DISABLE_COPY_MOVE(DefaultsCheckBox)
};

// The integer stored under `key`, a registered default included, or `fallback` while the key holds none.
qint64 storedInteger(const UserDefaults &defaults, const QString &key, qint64 fallback);

} // namespace plimsy
