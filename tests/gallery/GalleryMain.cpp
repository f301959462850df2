// plimsy-gallery: photographs the application's windows, tabs, sheets and alerts on the demo data.
// Run it through scripts/gallery, which seals it off and gives it an X display:
//
//     plimsy-gallery <output folder> [page...]    writes <output folder>/<page>.png
//     plimsy-gallery --list                       names the pages
//
// PLIMSY_GALLERY_COLOURS=<qt6ct colour scheme file> photographs in that palette (with the Fusion style),
// PLIMSY_GALLERY_POINT_SIZE=<n> at that font size; QT_SCALE_FACTOR scales as usual.
#include "GalleryPage.h"
#include "GalleryScene.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QWindow>

#include <cstdio>

using namespace plimsy::test;

namespace {

constexpr int Margin = 8;

QList<GalleryPage> allPages()
{
    return shellPages() + preferencesPages() + preferencesSettingsPages() + onboardingPages();
}

// Without a window manager the screen around the windows is bare: a plain backdrop under everything
// frames sheets that stand out over their window's edge.
std::unique_ptr<QWidget> showBackdrop()
{
    auto backdrop =
        std::make_unique<QWidget>(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint);
    backdrop->setObjectName(QStringLiteral("galleryBackdrop"));
    backdrop->setGeometry(QGuiApplication::primaryScreen()->geometry());
    backdrop->setAutoFillBackground(true);
    backdrop->setBackgroundRole(QPalette::Mid);
    backdrop->show();
    return backdrop;
}

QList<QWidget *> shownWindows()
{
    QList<QWidget *> shown;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->objectName() != QLatin1String("galleryBackdrop")) {
            shown.append(widget);
        }
    }
    return shown;
}

// The page's window with every sheet and alert it opened, as the screen shows them.
QPixmap photograph()
{
    QRect frame;
    for (QWidget *window : shownWindows()) {
        if (!QTest::qWaitForWindowExposed(window)) {
            std::fprintf(stderr, "gallery: %s was never shown\n", qUtf8Printable(window->windowTitle()));
        }
        window->repaint();
        frame = frame.united(window->frameGeometry());
    }
    QCoreApplication::processEvents();
    frame = frame.adjusted(-Margin, -Margin, Margin, Margin);
    return QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
}

// A palette as a qt6ct colour scheme file lists it: "active_colors=", "disabled_colors=" and
// "inactive_colors=" each name the colours of the roles in QPalette::ColorRole order.
bool applyColourScheme(const QString &path)
{
    const QSettings scheme(path, QSettings::IniFormat);
    QPalette palette = QApplication::palette();
    for (const auto &[key, group] : {std::pair{"ColorScheme/active_colors", QPalette::Active},
                                     std::pair{"ColorScheme/inactive_colors", QPalette::Inactive},
                                     std::pair{"ColorScheme/disabled_colors", QPalette::Disabled}}) {
        const QStringList colours = scheme.value(QString::fromLatin1(key)).toStringList();
        if (colours.isEmpty()) {
            return false;
        }
        for (int role = 0; role < std::min(int(colours.size()), int(QPalette::NColorRoles)); ++role) {
            palette.setColor(group, QPalette::ColorRole(role), QColor(colours.at(role).trimmed()));
        }
    }
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setPalette(palette);
    return true;
}

void applyLook()
{
    if (const QString colours = qEnvironmentVariable("PLIMSY_GALLERY_COLOURS");
        !colours.isEmpty() && !applyColourScheme(colours)) {
        std::fprintf(stderr, "gallery: no colour scheme in %s\n", qUtf8Printable(colours));
    }
    if (const int size = qEnvironmentVariableIntValue("PLIMSY_GALLERY_POINT_SIZE"); size > 0) {
        QFont font = QApplication::font();
        font.setPointSize(size);
        QApplication::setFont(font);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    applyLook();
    const QList<GalleryPage> pages = allPages();
    QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.value(0) == QLatin1String("--list") || arguments.isEmpty()) {
        for (const GalleryPage &page : pages) {
            std::printf("%s\n", page.name);
        }
        return arguments.isEmpty() ? 2 : 0;
    }
    const QDir output(arguments.takeFirst());
    for (const QString &wanted : std::as_const(arguments)) {
        if (std::none_of(pages.cbegin(), pages.cend(), [&](const GalleryPage &p) { return wanted == p.name; })) {
            std::fprintf(stderr, "gallery: no page named %s (see --list)\n", qUtf8Printable(wanted));
            return 2;
        }
    }

    GalleryScene scene;
    const std::unique_ptr<QWidget> backdrop = showBackdrop();
    int failures = 0;
    for (const GalleryPage &page : pages) {
        const QString name = QString::fromLatin1(page.name);
        if (!arguments.isEmpty() && !arguments.contains(name)) {
            continue;
        }
        std::unique_ptr<QWidget> window = page.stage(scene);
        const QString path = output.filePath(name + QStringLiteral(".png"));
        // The strongest compression: some pages are kept in the repository.
        if (photograph().save(path, "PNG", 0)) {
            std::printf("gallery: %s\n", qUtf8Printable(path));
        } else {
            std::fprintf(stderr, "gallery: could not write %s\n", qUtf8Printable(path));
            ++failures;
        }
        for (QWidget *shown : shownWindows()) {
            shown->close();
        }
        window.reset();
        QCoreApplication::processEvents();
    }
    return failures == 0 ? 0 : 1;
}
