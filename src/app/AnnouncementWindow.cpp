#include "app/AnnouncementWindow.h"

#include "editor/WebEngineModule.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace plimsy {

namespace {

constexpr QSize WindowSize{724, 571};

} // namespace

AnnouncementWindow::AnnouncementWindow(UserDefaults *defaults, UrlOpener *opener, QObject *parent)
    : TrackedWindow(QStringLiteral("AnnouncementWindow"), parent)
    , m_defaults(defaults ? *defaults : UserDefaults::standard())
    , m_opener(opener ? *opener : UrlOpener::system())
{
}

std::optional<QUrl> AnnouncementWindow::announcementURL(const UserDefaults &defaults)
{
    if (!defaults.contains(QLatin1String(URLKey))) {
        return std::nullopt;
    }
    const QUrl url(defaults.string(QLatin1String(URLKey)).trimmed(), QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() ? std::optional<QUrl>(url) : std::nullopt;
}

std::unique_ptr<QWidget> AnnouncementWindow::makeWindow()
{
    auto window = makeFrame(QStringLiteral("announcementWindow"), QStringLiteral("New Version"));
    window->resize(WindowSize);

    QWidget *page = nullptr;
    QString moduleFailure;
    if (WebEngineModule *module = WebEngineModule::load(&moduleFailure)) {
        page = module->createBrowserView(
            announcementURL(m_defaults).value_or(QUrl()),
            [opener = &m_opener](const QUrl &url) { opener->openUrl(url); },
            window.get());
        page->setObjectName(QStringLiteral("announcementWebView"));
    } else {
        auto *line = new QLabel(QStringLiteral("The announcement cannot be shown: the web engine could not be loaded (")
                                    + moduleFailure + u')',
                                window.get());
        line->setAlignment(Qt::AlignCenter);
        line->setWordWrap(true);
        page = line;
    }
    page->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    auto *dontShow = new QPushButton(QStringLiteral("Don't show again"), window.get());
    dontShow->setObjectName(QStringLiteral("dontShowAgainButton"));
    dontShow->setAutoDefault(false);
    connect(dontShow, &QPushButton::clicked, this, [this] {
        m_defaults.setValue(QLatin1String(DontShowKey), true);
        close();
    });
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(dontShow);

    auto *layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(page, 1);
    auto *row = new QWidget(window.get());
    row->setLayout(buttons);
    layout->addWidget(row);
    return window;
}

} // namespace plimsy
