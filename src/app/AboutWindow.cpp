#include "app/AboutWindow.h"

#include "app/AppDelegate.h"
#include "app/AppResources.h"
#include "core/URLConstants.h"
#include "platform/BundleInfo.h"
#include "platform/UrlOpener.h"

#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace plimsy {

namespace {

constexpr QLatin1String SupportAddress{"support@tindrel.com"};
constexpr QLatin1String Campaign{"utm_source=plimsy&utm_medium=about"};
constexpr QSize WindowSize{480, 220};
constexpr int IconSize = 128;

std::optional<QUrl> validURL(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() ? std::optional<QUrl>(url) : std::nullopt;
}

// The text colour toned down, for the secondary lines.
QColor secondaryColor(const QWidget &widget)
{
    QColor color = widget.palette().color(QPalette::WindowText);
    color.setAlphaF(0.6);
    return color;
}

QLabel *makeLabel(const QString &text, int pixelSize, QFont::Weight weight, const QColor *color, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    label->setFont(font);
    if (color) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, *color);
        label->setPalette(palette);
    }
    return label;
}

QPushButton *makeButton(const QString &title, const QString &objectName, QWidget *parent)
{
    auto *button = new QPushButton(title, parent);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    return button;
}

} // namespace

AboutWindowViewModel AboutWindowViewModel::current(const Clock &clock)
{
    return {QString::fromLatin1(BundleInfo::ShortVersion),
            QString::fromLatin1(BundleInfo::BuildNumber),
            clock.now().toLocalTime().date().year()};
}

QString AboutWindowViewModel::versionLine() const
{
    return shortVersion + QStringLiteral(" (") + build + QStringLiteral(")");
}

QString AboutWindowViewModel::supportSubject() const
{
    return QStringLiteral("Plimsy Support (v%1 build %2)").arg(shortVersion, build);
}

std::optional<QUrl> AboutWindowViewModel::supportURL() const
{
    // The characters a URL query may hold unencoded, but for the item separators.
    const QByteArray subject = QUrl::toPercentEncoding(supportSubject(), "!$'()*,/:;?@~");
    return validURL(QStringLiteral("mailto:") + SupportAddress + QStringLiteral("?subject=")
                    + QString::fromLatin1(subject));
}

std::optional<QUrl> AboutWindowViewModel::privacyURL(const QStringList &arguments)
{
    return validURL(webURL(QStringLiteral("/privacy?") + Campaign, arguments));
}

std::optional<QUrl> AboutWindowViewModel::websiteURL()
{
    return validURL(URLConstants::productWebBase() + QStringLiteral("/?") + Campaign);
}

AboutWindow::AboutWindow()
    : AboutWindow(AboutWindowViewModel::current(), Services{})
{
}

AboutWindow::AboutWindow(AboutWindowViewModel viewModel, Services services, QObject *parent)
    : TrackedWindow(QStringLiteral("AboutWindow"), parent)
    , m_viewModel(std::move(viewModel))
    , m_services(std::move(services))
{
    if (!m_services.urlOpener) {
        m_services.urlOpener = &UrlOpener::system();
    }
    if (!m_services.showLogFiles) {
        m_services.showLogFiles = [] { AppDelegate::shared().showLogsFolder(); };
    }
}

void AboutWindow::openURL(const std::optional<QUrl> &url) const
{
    if (url) {
        m_services.urlOpener->openUrl(*url);
    }
}

std::unique_ptr<QWidget> AboutWindow::makeWindow()
{
    auto window = makeFrame(QStringLiteral("aboutWindow"), QStringLiteral("About"));
    window->setMinimumSize(WindowSize);
    const QColor secondary = secondaryColor(*window);

    ensureAppResources();
    auto *icon = new QLabel(window.get());
    icon->setObjectName(QStringLiteral("appIconLabel"));
    icon->setPixmap(QIcon(QStringLiteral(":/images/AppIcon.svg")).pixmap(IconSize, IconSize));
    icon->setFixedSize(IconSize, IconSize);

    auto *text = new QVBoxLayout;
    text->setSpacing(6);
    text->addWidget(makeLabel(QString::fromLatin1(BundleInfo::Name), 44, QFont::Thin, nullptr, window.get()));
    QLabel *version = makeLabel(m_viewModel.versionLine(), 12, QFont::Normal, &secondary, window.get());
    version->setObjectName(QStringLiteral("versionLabel"));
    text->addWidget(version);
    text->addWidget(makeLabel(
        QStringLiteral("Your Forge servers and sites, one click away."), 12, QFont::Normal, nullptr, window.get()));
    QLabel *notice = makeLabel(QStringLiteral("© %1 Tindrel. All rights reserved.").arg(m_viewModel.currentYear),
                               9,
                               QFont::Normal,
                               &secondary,
                               window.get());
    notice->setObjectName(QStringLiteral("noticeLabel"));
    text->addWidget(notice);
    if (const auto privacy = AboutWindowViewModel::privacyURL()) {
        auto *link = makeButton(QStringLiteral("Privacy Policy"), QStringLiteral("privacyPolicyButton"), window.get());
        link->setFlat(true);
        link->setCursor(Qt::PointingHandCursor);
        // Coloured through the palette, not a style sheet, so the style still draws the focus frame.
        QPalette palette = link->palette();
        palette.setColor(QPalette::ButtonText, palette.color(QPalette::Link));
        link->setPalette(palette);
        QFont font = link->font();
        font.setPixelSize(9);
        link->setFont(font);
        connect(link, &QPushButton::clicked, this, [this, privacy] { openURL(privacy); });
        text->addWidget(link, 0, Qt::AlignLeft);
    }
    text->addStretch();

    auto *top = new QHBoxLayout;
    top->setSpacing(20);
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(text, 1);

    auto *logFiles = makeButton(QStringLiteral("Log Files"), QStringLiteral("logFilesButton"), window.get());
    connect(logFiles, &QPushButton::clicked, this, [this] { m_services.showLogFiles(); });
    auto *website = makeButton(QStringLiteral("Website"), QStringLiteral("websiteButton"), window.get());
    connect(website, &QPushButton::clicked, this, [this] { openURL(AboutWindowViewModel::websiteURL()); });
    auto *support = makeButton(QStringLiteral("Support"), QStringLiteral("supportButton"), window.get());
    connect(support, &QPushButton::clicked, this, [this] { openURL(m_viewModel.supportURL()); });
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(logFiles);
    bottom->addStretch();
    bottom->addWidget(website);
    bottom->addWidget(support);

    auto *layout = new QVBoxLayout(window.get());
    layout->setSpacing(0);
    layout->addLayout(top);
    layout->addStretch();
    layout->addLayout(bottom);

    for (const QKeySequence &keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        connect(new QShortcut(keys, window.get()), &QShortcut::activated, window.get(), &QWidget::close);
    }
    // The window itself holds the focus at first: Space or Return right after opening must not visit a
    // page. Tab reaches the buttons.
    window->setFocusPolicy(Qt::ClickFocus);
    window->setFocus(Qt::OtherFocusReason);
    return window;
}

} // namespace plimsy
