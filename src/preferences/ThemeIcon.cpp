#include "preferences/ThemeIcon.h"

#include <QFileInfo>
#include <QPainter>
#include <QPixmap>

namespace plimsy {

namespace {

// A session without a desktop (a bare X server) has only the "hicolor" base theme, which holds almost
// nothing: take the common GNOME theme there when it is installed.
void chooseThemeForBareSessions()
{
    const QString common = QStringLiteral("Adwaita");
    if (QIcon::themeName() != QLatin1String("hicolor")) {
        return;
    }
    for (const QString &folder : QIcon::themeSearchPaths()) {
        if (QFileInfo::exists(folder + QLatin1Char('/') + common + QStringLiteral("/index.theme"))) {
            QIcon::setThemeName(common);
            return;
        }
    }
}

} // namespace

QIcon themeIcon(const QStringList &names)
{
    static const bool s_themeChosen = (chooseThemeForBareSessions(), true);
    Q_UNUSED(s_themeChosen)
    for (const QString &name : names) {
        if (QIcon::hasThemeIcon(name)) {
            return QIcon::fromTheme(name);
        }
    }
    return {};
}

QPixmap tintedPixmap(const QIcon &icon, int side, const QColor &colour)
{
    QPixmap pixmap = icon.pixmap(side, side);
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), colour);
    painter.end();
    return pixmap;
}

QIcon tintedIcon(const QIcon &icon, const QPalette &palette)
{
    if (icon.isNull()) {
        return icon;
    }
    QIcon tinted;
    for (const int side : {16, 32}) {
        for (const auto &[mode, colour] : {std::pair{QIcon::Normal, palette.color(QPalette::Highlight)},
                                           std::pair{QIcon::Selected, palette.color(QPalette::HighlightedText)}}) {
            tinted.addPixmap(tintedPixmap(icon, side, colour), mode);
        }
    }
    return tinted;
}

} // namespace plimsy
