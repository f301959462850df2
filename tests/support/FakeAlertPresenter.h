#pragma once

#include "platform/AlertPresenter.h"

#include <QList>

#include <algorithm>

namespace plimsy::test {

// Records alerts instead of showing them; the test answers them by button index.
class FakeAlertPresenter final : public AlertPresenter
{
    Q_OBJECT

public:
    struct Shown
    {
        AlertId id = 0;
        Alert alert;
        bool open = true;
        int answer = 0;
    };

    AlertId show(const Alert &alert) override
    {
        m_shown.append({m_nextId, alert, true, 0});
        return m_nextId++;
    }

    void close(AlertId id) override { finish(id, Closed); }
    bool isShowing(AlertId id) const override
    {
        const Shown *entry = find(id);
        return entry && entry->open;
    }

    // Clicks button `button` of the alert.
    void answer(AlertId id, int button) { finish(id, button); }

    const QList<Shown> &shown() const { return m_shown; }
    QList<Shown> open() const
    {
        QList<Shown> result;
        std::copy_if(m_shown.begin(), m_shown.end(), std::back_inserter(result), [](const Shown &s) { return s.open; });
        return result;
    }

private:
    const Shown *find(AlertId id) const
    {
        const auto it = std::find_if(m_shown.begin(), m_shown.end(), [id](const Shown &s) { return s.id == id; });
        return it == m_shown.end() ? nullptr : &*it;
    }

    void finish(AlertId id, int button)
    {
        const auto it = std::find_if(m_shown.begin(), m_shown.end(), [id](const Shown &s) { return s.id == id; });
        if (it == m_shown.end() || !it->open) {
            return;
        }
        it->open = false;
        it->answer = button;
        Q_EMIT answered(id, button);
    }

    QList<Shown> m_shown;
    AlertId m_nextId = 1;
};

} // namespace plimsy::test
