#include "actionbar/ActionBarPanel.h"

#include "actionbar/ActionBarCellView.h"
#include "actionbar/ActionBarSearchField.h"

#include <QEvent>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace plimsy {

ActionBarPanel::ActionBarPanel(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_searchField(new ActionBarSearchField(this))
    , m_tableView(new QListView(this))
    , m_hintLabel(new QLabel(QStringLiteral("↑↓ navigate  ↵ execute  esc close"), this))
{
    setObjectName(QStringLiteral("actionBarPanel"));
    setWindowTitle(QStringLiteral("Action Bar"));
    setAttribute(Qt::WA_TranslucentBackground);

    m_searchField->setPlaceholderText(QStringLiteral("Search Forge commands..."));
    QFont fieldFont = m_searchField->font();
    fieldFont.setPixelSize(18);
    m_searchField->setFont(fieldFont);
    m_searchField->setFrame(false);

    m_tableView->setObjectName(QStringLiteral("actionBarTableView"));
    m_tableView->setItemDelegate(new ActionBarCellView(m_tableView));
    m_tableView->setUniformItemSizes(true);
    m_tableView->setFrameShape(QFrame::NoFrame);
    m_tableView->setFocusPolicy(Qt::NoFocus);
    m_tableView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_tableView->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tableView->viewport()->setAutoFillBackground(false);
    m_tableView->setStyleSheet(QStringLiteral("QListView { background: transparent; }"));

    m_hintLabel->setObjectName(QStringLiteral("actionBarHintLabel"));
    QFont hintFont = m_hintLabel->font();
    hintFont.setPixelSize(11);
    m_hintLabel->setFont(hintFont);
    m_hintLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_hintLabel->setForegroundRole(QPalette::PlaceholderText);

    setFocusProxy(m_searchField);
    layoutForListHeight(ActionBarCellView::RowHeight);
}

QPoint ActionBarPanel::placement(const QRect &available, QSize size, int tallest)
{
    const int x = available.x() + (available.width() - size.width()) / 2;
    const int bottom = available.y() + available.height() / 2 - 100;
    // The top edge wins over the lower one: a panel taller than the area keeps its search field on screen.
    const int top = std::max(available.y(), std::min(bottom - size.height(), available.bottom() + 1 - tallest));
    return {std::max(available.x(), x), top};
}

void ActionBarPanel::layoutForListHeight(int listHeight)
{
    const int height = listHeight + ChromeHeight;
    resize(WindowWidth, height);
    // Top to bottom: a 12-pixel margin, the field, 12 more, the list, the hint line.
    m_searchField->setGeometry(12, 12, WindowWidth - 24, SearchFieldHeight);
    m_tableView->setGeometry(0, height - HintHeight - listHeight, WindowWidth, listHeight);
    m_hintLabel->setGeometry(12, height - 20, WindowWidth - 24, 16);
}

void ActionBarPanel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange) {
        return;
    }
    // Clicking elsewhere or switching applications dismisses the bar; it must have been active first.
    if (isActiveWindow()) {
        m_wasActive = true;
    } else if (m_wasActive) {
        m_wasActive = false;
        if (isVisible()) {
            Q_EMIT deactivated();
        }
    }
}

void ActionBarPanel::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    Q_EMIT hidden();
}

void ActionBarPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    painter.fillPath(outline, palette().window());
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawPath(outline);
}

} // namespace plimsy
