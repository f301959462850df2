#include "onboarding/OnboardingWidgets.h"

#include "preferences/ThemeIcon.h"

#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initOnboardingResources()
{
    Q_INIT_RESOURCE(onboarding);
}

namespace plimsy {

namespace {

constexpr int SymbolRowFrame = 20;
constexpr int SymbolRowSpacing = 12;

void ensureResources()
{
    static const bool s_done = (initOnboardingResources(), true);
    Q_UNUSED(s_done)
}

qreal scale(TextStyle style)
{
    switch (style) {
    case TextStyle::Title:
        return 1.7;
    case TextStyle::Title2:
        return 1.35;
    case TextStyle::Body:
        return 1.0;
    case TextStyle::Callout:
        return 0.95;
    case TextStyle::Subheadline:
        return 0.92;
    case TextStyle::Caption:
        return 0.82;
    }
    return 1.0;
}

QIcon symbolIcon(const Symbol &symbol)
{
    ensureResources();
    const QString name = QString::fromLatin1(symbol.themeName);
    if (!name.isEmpty()) {
        const QIcon themed = themeIcon({name});
        if (!themed.isNull()) {
            return themed;
        }
    }
    return QIcon(QStringLiteral(":/onboarding/symbols/") + QLatin1String(symbol.fallback) + QStringLiteral(".svg"));
}

// The default button shown in `area`, not one of an alert over its window.
QPushButton *shownDefaultButton(const QWidget *area)
{
    const auto buttons = area->findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        if (button->isDefault() && button->window() == area->window() && button->isVisibleTo(area)) {
            return button;
        }
    }
    return nullptr;
}

// Presses the window's default button on Return or Enter that nothing in the window answered. The button is
// looked up at each press, so it follows whatever screen is showing and wherever the focus is.
class DefaultButtonPresser final : public QObject
{
public:
    explicit DefaultButtonPresser(QWidget *window)
        : QObject(window)
        , m_window(window)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                if (QPushButton *button = shownDefaultButton(m_window); button && button->isEnabled()) {
                    button->click();
                    return true;
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_window;
};

} // namespace

QLabel *makeTextLabel(const QString &text, TextStyle style, QWidget *parent, QFont::Weight weight, bool isSecondary)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale(style));
    font.setWeight(weight);
    label->setFont(font);
    if (isSecondary) {
        label->setForegroundRole(QPalette::PlaceholderText);
    }
    return label;
}

QLabel *makeSymbolLabel(const Symbol &symbol, int side, const QColor &colour, QWidget *parent, int frameWidth)
{
    auto *label = new QLabel(parent);
    const qreal ratio = label->devicePixelRatioF();
    const QColor ink = legibleOn(colour, label->palette().color(QPalette::Window));
    QPixmap pixmap = tintedPixmap(symbolIcon(symbol), qRound(side * ratio), ink);
    pixmap.setDevicePixelRatio(ratio);
    label->setPixmap(pixmap);
    label->setAlignment(Qt::AlignCenter);
    label->setFixedSize(frameWidth > 0 ? frameWidth : side, side);
    return label;
}

QIcon makeSymbolIcon(const Symbol &symbol, const QColor &colour)
{
    constexpr int Side = 48;
    return QIcon(tintedPixmap(symbolIcon(symbol), Side, colour));
}

QLabel *makeAppIconLabel(int side, QWidget *parent, int cornerRadius)
{
    ensureResources();
    auto *label = new QLabel(parent);
    label->setObjectName(QStringLiteral("appIconLabel"));
    const qreal ratio = label->devicePixelRatioF();
    const int pixels = qRound(side * ratio);
    const QPixmap icon = QIcon(QStringLiteral(":/onboarding/AppIcon.svg")).pixmap(pixels, pixels);
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    if (cornerRadius > 0) {
        QPainterPath rounded;
        rounded.addRoundedRect(QRectF(0, 0, pixels, pixels), cornerRadius * ratio, cornerRadius * ratio);
        painter.setClipPath(rounded);
    }
    painter.drawPixmap(0, 0, icon);
    painter.end();
    pixmap.setDevicePixelRatio(ratio);
    label->setPixmap(pixmap);
    label->setFixedSize(side, side);
    return label;
}

QFrame *makeDivider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QWidget *makeSymbolRow(const Symbol &symbol, const QColor &colour, const QString &text, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(SymbolRowSpacing);
    const int side = row->fontMetrics().height();
    layout->addWidget(makeSymbolLabel(symbol, side, colour, row, SymbolRowFrame), 0, Qt::AlignVCenter);
    layout->addWidget(makeTextLabel(text, TextStyle::Body, row), 0, Qt::AlignVCenter);
    layout->addStretch(1);
    return row;
}

QPushButton *makeButton(const QString &text, const QString &objectName, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    return button;
}

QPushButton *makeLinkButton(const Symbol &symbol, const QString &text, const QString &objectName, QWidget *parent)
{
    QPushButton *button = makeButton(text, objectName, parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, palette.color(QPalette::Link));
    button->setPalette(palette);
    button->setIcon(makeSymbolIcon(symbol, palette.color(QPalette::Link)));
    return button;
}

void focusFirstField(QWidget *area)
{
    QWidget *first = nullptr;
    // The chain runs through the whole window and back.
    for (QWidget *widget = area->nextInFocusChain(); widget && widget != area; widget = widget->nextInFocusChain()) {
        if (qobject_cast<QLineEdit *>(widget) && area->isAncestorOf(widget) && widget->isVisibleTo(area)
            && widget->isEnabled()) {
            first = widget;
            break;
        }
    }
    if (!first) {
        first = shownDefaultButton(area);
    }
    if (first) {
        first->setFocus(Qt::OtherFocusReason);
    }
}

QColor accentColour(const QWidget *widget)
{
    // The accent is a selection's background: in many dark palettes too close to the window to read.
    return legibleOn(widget->palette().color(QPalette::Highlight), widget->palette().color(QPalette::Window));
}

void startSignIn(AuthManager &manager, QObject *context, std::function<void(const AuthManager::Result &)> handle)
{
    manager.startLogin(context, [context, handle = std::move(handle)](const AuthManager::Result &result) {
        QTimer::singleShot(0, context, [handle, result] { handle(result); });
    });
}

std::unique_ptr<QWidget> makeFixedWindow(const QString &objectName, const QString &title, QSize size)
{
    auto window = std::make_unique<QWidget>(
        nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setObjectName(objectName);
    window->setWindowTitle(title);
    window->setFixedSize(size);
    centreOnScreen(window.get());
    new DefaultButtonPresser(window.get());
    return window;
}

void centreOnScreen(QWidget *window)
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

} // namespace plimsy
