#include "app/TrayNoticeWindow.h"

#include "platform/Clock.h"
#include "platform/StatusItem.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace plimsy {

namespace {

constexpr int TextWidth = 420;
constexpr int IconSize = 64;

QLabel *paragraph(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setFixedWidth(TextWidth);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

TrayNoticeWindow::TrayNoticeWindow(StatusItem &statusItem, Services services, QObject *parent)
    : TrackedWindow(QStringLiteral("TrayNoticeWindow"), parent)
    , m_statusItem(statusItem)
    , m_services(std::move(services))
    , m_defaults(m_services.defaults ? *m_services.defaults : UserDefaults::standard())
{
    if (!m_services.sleeper) {
        m_services.sleeper = &Sleeper::system();
    }
    connect(&m_statusItem, &StatusItem::hostChanged, this, [this](bool hasHost) {
        if (hasHost) {
            close();
        }
        if (m_isAwaitingAnswer) {
            m_isAwaitingAnswer = false;
            decide();
        }
    });
}

QCoro::Task<> TrayNoticeWindow::showIfNoHost()
{
    QPointer self(this);
    co_await m_services.sleeper->sleep(Delay);
    if (!self) {
        co_return;
    }
    // A desktop slow to answer decides when its answer comes.
    if (m_statusItem.isHostKnown()) {
        decide();
    } else {
        m_isAwaitingAnswer = true;
    }
}

void TrayNoticeWindow::decide()
{
    if (m_statusItem.hasHost() || m_defaults.boolValue(QLatin1String(DontShowKey))) {
        return;
    }
    if (QWidget *firstRun = m_services.firstRunWindow ? m_services.firstRunWindow() : nullptr) {
        if (m_awaitedWindow != firstRun) {
            if (m_awaitedWindow) {
                m_awaitedWindow->removeEventFilter(this);
            }
            m_awaitedWindow = firstRun;
            firstRun->installEventFilter(this);
        }
        return;
    }
    showWindow();
}

bool TrayNoticeWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_awaitedWindow && event->type() == QEvent::Hide) {
        m_awaitedWindow->removeEventFilter(this);
        m_awaitedWindow = nullptr;
        // Once it is gone for good: the welcome window may follow the onboarding.
        QTimer::singleShot(0, this, &TrayNoticeWindow::decide);
    }
    return TrackedWindow::eventFilter(watched, event);
}

QString TrayNoticeWindow::advice() const
{
    if (m_services.isGnome) {
        return QStringLiteral("This GNOME desktop has no system tray of its own. Install and turn on the "
                              "\"AppIndicator and KStatusNotifierItem Support\" extension (in the Extensions "
                              "app, or with your distribution's gnome-shell-extension-appindicator package).");
    }
    return QStringLiteral("No system tray runs on this desktop. Add the desktop's system tray (status notifier) "
                          "widget to one of its panels.");
}

std::unique_ptr<QWidget> TrayNoticeWindow::makeWindow()
{
    auto window = makeFrame(QStringLiteral("trayNoticeWindow"), QLatin1String(Title));

    auto *icon = new QLabel(window.get());
    icon->setPixmap(QApplication::windowIcon().isNull()
                        ? window->style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(IconSize)
                        : QApplication::windowIcon().pixmap(IconSize));
    icon->setAlignment(Qt::AlignTop);

    auto *heading = paragraph(QLatin1String(Title), window.get());
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    QString meanwhile = QStringLiteral("Plimsy's icon appears as soon as a tray runs; there is no need to restart "
                                       "Plimsy. Until then, opening Plimsy again from the application list opens "
                                       "its command palette, where every menu command, server and site can be "
                                       "found and run.");
    if (const QString hotkey = m_services.hotkeyName ? m_services.hotkeyName() : QString(); !hotkey.isEmpty()) {
        meanwhile += QStringLiteral(" %1 opens it from any application.").arg(hotkey);
    }
    auto *adviceLabel = paragraph(advice(), window.get());
    adviceLabel->setObjectName(QStringLiteral("trayAdviceLabel"));

    auto *text = new QVBoxLayout;
    text->setSpacing(10);
    text->addWidget(heading);
    text->addWidget(adviceLabel);
    text->addWidget(paragraph(meanwhile, window.get()));
    auto *body = new QHBoxLayout;
    body->setSpacing(16);
    body->addWidget(icon, 0, Qt::AlignTop);
    body->addLayout(text);

    auto *dontShow = new QCheckBox(QStringLiteral("Don't show this again"), window.get());
    dontShow->setObjectName(QStringLiteral("dontShowAgainCheckBox"));
    dontShow->setChecked(m_defaults.boolValue(QLatin1String(DontShowKey)));
    connect(dontShow, &QCheckBox::toggled, this, [this](bool checked) {
        m_defaults.setValue(QLatin1String(DontShowKey), checked);
    });
    auto *openPalette = new QPushButton(QStringLiteral("Open Command Palette"), window.get());
    openPalette->setObjectName(QStringLiteral("openCommandPaletteButton"));
    openPalette->setEnabled(static_cast<bool>(m_services.openActionBar));
    connect(openPalette, &QPushButton::clicked, this, [this] {
        close();
        m_services.openActionBar();
    });
    auto *ok = new QPushButton(QStringLiteral("OK"), window.get());
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TrayNoticeWindow::close);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(dontShow);
    buttons->addStretch();
    buttons->addWidget(openPalette);
    buttons->addWidget(ok);

    auto *layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(18);
    layout->addLayout(body);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    return window;
}

} // namespace plimsy
