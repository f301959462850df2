#include "preferences/PreferencesWindowController.h"

#include "core/NotificationNames.h"
#include "platform/NotificationCenter.h"
#include "preferences/PreferencesTabs.h"
#include "preferences/PreferencesWidgets.h"
#include "preferences/ThemeIcon.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace plimsy {

namespace {

constexpr int PagePadding = 24;
constexpr int PageExtraBottomPadding = 12;

QIcon tabIcon(const PreferencesTab &tab, const QPalette &palette)
{
    QStringList names;
    for (const char *name : tab.iconNames) {
        names.append(QString::fromLatin1(name));
    }
    // The theme draws its symbolic icons in one fixed dark colour: in a dark palette they would vanish.
    return tintedIcon(themeIcon(names), palette, QPalette::ButtonText);
}

constexpr const char *PageTabProperty = "plimsyPageTab";

// A tab button as assistive technologies should see it: a page tab, selected while its page shows,
// rather than the check box a checkable tool button passes for.
class PageTabAccessible final : public QAccessibleWidget
{
public:
    explicit PageTabAccessible(QToolButton *button)
        : QAccessibleWidget(button, QAccessible::PageTab)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.selectable = true;
        state.selected = button()->isChecked();
        return state;
    }

    QString text(QAccessible::Text kind) const override
    {
        const QString text = QAccessibleWidget::text(kind);
        return kind == QAccessible::Name && text.isEmpty() ? button()->text() : text;
    }

    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }

    void doAction(const QString &name) override
    {
        if (name == pressAction()) {
            button()->click();
        } else {
            QAccessibleWidget::doAction(name);
        }
    }

private:
    QToolButton *button() const { return static_cast<QToolButton *>(widget()); }
};

QAccessibleInterface *pageTabFactory(const QString &, QObject *object)
{
    auto *button = qobject_cast<QToolButton *>(object);
    return button && button->property(PageTabProperty).toBool() ? new PageTabAccessible(button) : nullptr;
}

void markAsPageTab(QWidget *button, const QString &label)
{
    static const bool s_installed = (QAccessible::installFactory(pageTabFactory), true);
    Q_UNUSED(s_installed)
    button->setProperty(PageTabProperty, true);
    // Events of the button's set-up may have made (and cached) the plain tool button's interface already.
    if (QAccessibleInterface *made = QAccessible::queryAccessibleInterface(button);
        made && made->role() != QAccessible::PageTab) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
    button->setAccessibleName(label);
    // A toolbar keeps its buttons out of the Tab chain; these are the only way to the pages.
    button->setFocusPolicy(Qt::TabFocus);
}

} // namespace

PreferencesWindowController::PreferencesWindowController(PreferencesServices services, QWidget *parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                  | Qt::WindowMinimizeButtonHint)
    , m_toolBar(new QToolBar(this))
    , m_tabs(new QActionGroup(this))
    , m_pages(new QStackedWidget(this))
{
    setObjectName(QStringLiteral("preferencesWindow"));
    QBoxLayout *layout = makeBareLayout(QBoxLayout::TopToBottom, this, 0);
    // The window takes the size of the selected tab and cannot be resized by hand.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_toolBar->setObjectName(QStringLiteral("preferencesToolBar"));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setIconSize(QSize(24, 24));
    layout->addWidget(m_toolBar);
    m_pages->setObjectName(QStringLiteral("preferencesPages"));
    layout->addWidget(m_pages);

    m_tabs->setExclusive(true);
    // Every tab is built now, so each keeps its state however often the window is shown.
    for (const PreferencesTab &tab : PreferencesTabTable) {
        const QString label = QString::fromLatin1(tab.label);
        QAction *action = m_toolBar->addAction(tabIcon(tab, m_toolBar->palette()), label);
        action->setObjectName(QString::fromLatin1(tab.objectName));
        action->setCheckable(true);
        action->setData(label);
        m_tabs->addAction(action);
        m_pages->addWidget(makePage(preferencesTabView(label, services)));
        connect(action, &QAction::triggered, this, [this, label] { selectTab(label); });
        markAsPageTab(m_toolBar->widgetForAction(action), label);
    }
    // As in tabbed dialogs; window-wide, so a focused combo box or table does not take the keys first.
    for (const auto &[keys, step] : {std::pair{QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
                                     std::pair{QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
                                     std::pair{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1},
                                     std::pair{QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1}}) {
        connect(
            new QShortcut(keys, this), &QShortcut::activated, this, [this, step = step] { selectAdjacentTab(step); });
    }
    selectTab(QString::fromLatin1(PreferencesTabTable.front().label));
    // Whoever brings the window up for the API-key set-up, it opens where keys are added.
    NotificationCenter::defaultCenter().addObserver(
        NotificationNames::showAPIKeySetup, this, [this](const Notification &) {
            selectTab(QStringLiteral("Forge Accounts"));
        });
}

QWidget *PreferencesWindowController::makePage(QWidget *content)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    // A page hidden behind another must not hold the window at its own least size.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->setContentsMargins(PagePadding, PagePadding, PagePadding, PagePadding + PageExtraBottomPadding);
    layout->addWidget(content);
    layout->addStretch(1);
    page->setFixedWidth(ContentWidth);
    page->installEventFilter(this);
    return page;
}

void PreferencesWindowController::showWindow()
{
    if (!m_hasBeenPlaced) {
        m_hasBeenPlaced = true;
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            adjustSize();
            move(screen->availableGeometry().center() - rect().center());
        }
    }
    show();
    raise();
    activateWindow();
}

void PreferencesWindowController::selectTab(const QString &label)
{
    for (int i = 0; i < int(PreferencesTabTable.size()); ++i) {
        if (QString::fromLatin1(PreferencesTabTable.at(i).label) != label) {
            continue;
        }
        m_tabs->actions().at(i)->setChecked(true);
        m_pages->setCurrentIndex(i);
        setWindowTitle(label);
        fitToSelectedTab();
        return;
    }
}

void PreferencesWindowController::selectAdjacentTab(int step)
{
    const int count = int(PreferencesTabTable.size());
    const int next = (m_pages->currentIndex() + step + count) % count;
    selectTab(QString::fromLatin1(PreferencesTabTable.at(next).label));
    // The focus would otherwise fall on whatever follows the hidden page.
    m_toolBar->widgetForAction(m_tabs->actions().at(next))->setFocus(Qt::TabFocusReason);
}

QString PreferencesWindowController::selectedTab() const
{
    const QAction *checked = m_tabs->checkedAction();
    return checked ? checked->data().toString() : QString();
}

void PreferencesWindowController::fitToSelectedTab()
{
    // The window fits the selected tab, not the largest one: as tall as the tab's wrapped texts need
    // at the fixed width.
    QWidget *selected = m_pages->currentWidget();
    const QLayout *page = selected->layout();
    const int height =
        std::max(MinimumContentHeight,
                 page->hasHeightForWidth() ? page->totalHeightForWidth(ContentWidth) : page->totalSizeHint().height());
    selected->setFixedHeight(height);
    m_pages->setFixedHeight(height);
    layout()->activate();
}

bool PreferencesWindowController::eventFilter(QObject *watched, QEvent *event)
{
    // A tab that shows or hides rows (signing in, say) asks for a new layout: the window follows it.
    if (event->type() == QEvent::LayoutRequest && watched == m_pages->currentWidget()) {
        fitToSelectedTab();
    }
    return QWidget::eventFilter(watched, event);
}

void PreferencesWindowController::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        m_tracker.windowShown();
    }
}

void PreferencesWindowController::closeEvent(QCloseEvent *event)
{
    m_tracker.windowClosed();
    event->accept();
}

} // namespace plimsy
