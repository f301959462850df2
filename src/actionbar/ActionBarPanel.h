#pragma once

#include <QWidget>

class QLabel;
class QListView;

namespace plimsy {

class ActionBarSearchField;

// The palette's window: a frameless tool window on top of the others, with the search field, the list of
// commands and a line of key hints. It says when it loses activation.
class ActionBarPanel : public QWidget
{
    Q_OBJECT

public:
    static constexpr int WindowWidth = 500;
    static constexpr int SearchFieldHeight = 44;
    static constexpr int HintHeight = 24;
    // Space around the list: field, margins and hints.
    static constexpr int ChromeHeight = 92;

    explicit ActionBarPanel(QWidget *parent = nullptr);

    // Where the panel's top-left corner goes on a screen with this free area: centred across it, its
    // lower edge 100 pixels above the middle, but never so high or low that the panel at `tallest`
    // (its height with the longest list, which it grows to downwards) leaves the area.
    static QPoint placement(const QRect &available, QSize size, int tallest);

    ActionBarSearchField *searchField() const { return m_searchField; }
    QListView *tableView() const { return m_tableView; }
    QLabel *hintLabel() const { return m_hintLabel; }

    // Lays the children out for a list of that height.
    void layoutForListHeight(int listHeight);

Q_SIGNALS:
    void deactivated();
    // Also when the window manager closed it.
    void hidden();

protected:
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    ActionBarSearchField *m_searchField;
    QListView *m_tableView;
    QLabel *m_hintLabel;
    bool m_wasActive = false;

    Q_DISABLE_COPY_MOVE(ActionBarPanel)
};

} // namespace plimsy
