#include "preferences/DefaultsControls.h"

#include "platform/UserDefaults.h"

namespace plimsy {

qint64 storedInteger(const UserDefaults &defaults, const QString &key, qint64 fallback)
{
    return defaults.object(key).isValid() ? defaults.integer(key) : fallback;
}

DefaultsPicker::DefaultsPicker(UserDefaults &defaults,
                               QString key,
                               const QList<Choice> &choices,
                               std::function<qint64()> shownValue,
                               QWidget *parent)
    : QComboBox(parent)
    , m_defaults(defaults)
    , m_key(std::move(key))
    , m_shownValue(std::move(shownValue))
{
    for (const auto &[title, value] : choices) {
        addItem(title, value);
    }
    reload();
    connect(this, &QComboBox::activated, this, &DefaultsPicker::handleActivated);
}

void DefaultsPicker::reload()
{
    m_shown = m_shownValue();
    setCurrentIndex(findData(m_shown));
}

void DefaultsPicker::handleActivated(int index)
{
    const qint64 value = itemData(index).toLongLong();
    if (value == m_shown) {
        return;
    }
    m_shown = value;
    m_defaults.setValue(m_key, value);
    Q_EMIT valueChosen(value);
}

DefaultsCheckBox::DefaultsCheckBox(
    const QString &text, UserDefaults &defaults, QString key, bool fallback, QWidget *parent)
    : QCheckBox(text, parent)
    , m_defaults(defaults)
    , m_key(std::move(key))
    , m_fallback(fallback)
{
    reload();
    // Only the user's clicks: showing the stored value writes nothing.
    connect(this, &QCheckBox::clicked, this, [this](bool isOn) {
        m_defaults.setValue(m_key, isOn);
        Q_EMIT valueChanged(isOn);
    });
}

void DefaultsCheckBox::reload()
{
    const QVariant stored = m_defaults.object(m_key);
    setChecked(stored.isValid() ? m_defaults.boolValue(m_key) : m_fallback);
}

} // namespace plimsy
