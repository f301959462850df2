#include "preferences/ThemeIcon.h"

#include <QFileInfo>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>

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

qreal channel(float value)
{
    return value <= 0.03928f ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

// The relative luminance of the colour, as contrast ratios are measured.
qreal luminance(const QColor &colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

// Fills the source icon's shape at draw time, so every size and device pixel ratio stays sharp.
class TintedIconEngine final : public QIconEngine
{
public:
    TintedIconEngine(QIcon source, const QPalette &palette, QPalette::ColorRole role)
        : m_source(std::move(source))
        , m_normal(palette.color(QPalette::Active, role))
        , m_disabled(palette.color(QPalette::Disabled, role))
        , m_selected(palette.color(QPalette::Active, QPalette::HighlightedText))
    {
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap = m_source.pixmap(size, 1.0, QIcon::Normal, state);
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(),
                         mode == QIcon::Disabled   ? m_disabled
                         : mode == QIcon::Selected ? m_selected
                                                   : m_normal);
        painter.end();
        return pixmap;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap shape = pixmap(rect.size() * ratio, mode, state);
        shape.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect, shape);
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State state) override
    {
        return m_source.actualSize(size, QIcon::Normal, state);
    }

    QIconEngine *clone() const override { return new TintedIconEngine(*this); }

private:
    TintedIconEngine(const TintedIconEngine &) = default;

    QIcon m_source;
    QColor m_normal;
    QColor m_disabled;
    QColor m_selected;
};

// The contrast ratio of two opaque colours, from 1 (the same) to 21 (black on white).
qreal contrastRatio(const QColor &first, const QColor &second)
{
    const qreal lighter = std::max(luminance(first), luminance(second));
    const qreal darker = std::min(luminance(first), luminance(second));
    return (lighter + 0.05) / (darker + 0.05);
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
    QPixmap pixmap = icon.pixmap(QSize(side, side), 1.0);
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), colour);
    painter.end();
    return pixmap;
}

QIcon tintedIcon(const QIcon &icon, const QPalette &palette, QPalette::ColorRole role)
{
    return icon.isNull() ? icon : QIcon(new TintedIconEngine(icon, palette, role));
}

QColor legibleOn(const QColor &ink, const QColor &background)
{
    constexpr qreal Least = 3.0;
    const QColor base = background.toRgb();
    const qreal alpha = ink.alphaF();
    QColor shown = QColor::fromRgbF(float(ink.redF() * alpha + base.redF() * (1 - alpha)),
                                    float(ink.greenF() * alpha + base.greenF() * (1 - alpha)),
                                    float(ink.blueF() * alpha + base.blueF() * (1 - alpha)));
    // Away from the background's own lightness, in small steps so the hue stays as near as it can.
    const bool towardsDark = luminance(base) > 0.18;
    for (int step = 0; step < 40 && contrastRatio(shown, base) < Least; ++step) {
        float hue = 0;
        float saturation = 0;
        float lightness = 0;
        shown.getHslF(&hue, &saturation, &lightness);
        lightness = std::clamp(lightness + (towardsDark ? -0.025f : 0.025f), 0.0f, 1.0f);
        shown = QColor::fromHslF(hue, saturation, lightness);
    }
    return shown;
}

} // namespace plimsy
