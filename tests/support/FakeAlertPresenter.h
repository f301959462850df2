#pragma once

#include "platform/AlertPresenter.h"

#include <QList>

#include <algorithm>

namespace plimsy::test {

// Records alerts and file panels instead of showing them; the test answers them by button index or path.
// Sheets are the base class's real dialogs.
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

    struct Panel
    {
        AlertId id = 0;
        FilePanel panel;
        bool open = true;
    };

    AlertId show(const Alert &alert) override
    {
        const AlertId id = allocateId();
        m_shown.append({id, alert, true, 0});
        return id;
    }

    AlertId showFilePanel(const FilePanel &panel) override
    {
        const AlertId id = allocateId();
        m_panels.append({id, panel, true});
        return id;
    }

    // Chooses `path` in the panel; an empty path cancels it.
    void choose(AlertId id, const QString &path)
    {
        const auto it = std::find_if(m_panels.begin(), m_panels.end(), [id](const Panel &p) { return p.id == id; });
        if (it == m_panels.end() || !it->open) {
            return;
        }
        it->open = false;
        Q_EMIT fileChosen(id, path);
    }
    const QList<Panel> &panels() const { return m_panels; }

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
    QList<Panel> m_panels;
};

} // namespace plimsy::test
