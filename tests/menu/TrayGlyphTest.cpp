#include "platform/StatusNotifierIcon.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace plimsy;

namespace {

double luminance(QColor colour)
{
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

double contrast(QColor one, QColor other)
{
    const double a = luminance(one);
    const double b = luminance(other);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// How the eye reads the icon on the panel: the contrast that the strongest 15% of the pixels the icon
// changes reach. A glyph whose edge only smears into the panel's colour scores low however dark it is.
double readableContrast(const QByteArray &drawing, QColor panel)
{
    QSvgRenderer renderer(drawing);
    QImage image(22, 22, QImage::Format_RGB32);
    image.fill(panel);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    std::vector<double> changed;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (const double ratio = contrast(image.pixelColor(x, y), panel); ratio > 1.1) {
                changed.push_back(ratio);
            }
        }
    }
    if (changed.empty()) {
        return 1;
    }
    std::sort(changed.begin(), changed.end());
    return changed[changed.size() * 85 / 100];
}

} // namespace

// Hosts that draw the named icon as it is (lxqt-panel, waybar) and hosts that recolour its glyph with
// their text colour (GNOME, KDE, xfce) alike.
TEST(TrayGlyphTest, EachGlyphReadsOnTheHostsPanels)
{
    struct Panel
    {
        const char *host;
        QColor colour;
        const char *glyphColour; // what the host paints the scheme's text class with; empty: as drawn
    };
    const Panel panels[] = {
        {"waybar's default tray", QColor(0x29, 0x80, 0xb9), ""},
        {"waybar's light style", QColor(0xf0, 0xf0, 0xf0), ""},
        {"lxqt-panel Clearlooks", QColor(0xed, 0xec, 0xeb), ""},
        {"lxqt-panel ambiance", QColor(0x46, 0x45, 0x3f), ""},
        {"lxqt-panel dark", QColor(Qt::black), ""},
        {"GNOME's top bar", QColor(Qt::black), "#ffffff"},
        {"xfce4-panel dark", QColor(0x35, 0x35, 0x35), "#eeeeec"},
        {"xfce4-panel light", QColor(0xed, 0xed, 0xed), "#2e3436"},
    };
    for (const char *name : {"plimsy-terminal-outlined-symbolic", "plimsy-menubar-error-symbolic"}) {
        QFile file(StatusNotifierIcon::themePath() + QStringLiteral("/hicolor/scalable/status/") + QLatin1String(name)
                   + QStringLiteral(".svg"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(file.fileName());
        const QByteArray drawing = file.readAll();
        for (const Panel &panel : panels) {
            SCOPED_TRACE(std::string(name) + " in " + panel.host);
            QByteArray shown = drawing;
            if (*panel.glyphColour != '\0') {
                shown.replace("color:#f4f4f4", QByteArray("color:") + panel.glyphColour);
                ASSERT_TRUE(shown != drawing) << "the glyph no longer names its colour in the scheme's text class";
            }
            EXPECT_GE(readableContrast(shown, panel.colour), 3.0);
        }
    }
}
