#include "platform/TemplateImage.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include <algorithm>
#include <vector>

namespace plimsy::TemplateImage {

namespace {

constexpr int Sides[] = {16, 22, 24, 32, 48, 64};

QString resourcePath(const QString &name)
{
    return QStringLiteral(":/images/%1.svg").arg(name);
}

// The image's shape filled with one colour.
QImage shapeIn(const QIcon &source, int side, const QColor &ink)
{
    QImage image = source.pixmap(side, side).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return image;
    }
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), ink);
    return image;
}

// Paints the pixels the shape encloses (those no path of clear pixels joins to the border) in one colour.
void fillEnclosed(QImage &image, const QImage &shape, const QColor &ink)
{
    const int width = shape.width();
    const int height = shape.height();
    const auto clear = [&](int x, int y) { return qAlpha(shape.pixel(x, y)) < 64; };
    std::vector<bool> outside(std::size_t(width) * height, false);
    std::vector<QPoint> open;
    const auto reach = [&](int x, int y) {
        if (x >= 0 && y >= 0 && x < width && y < height && !outside[std::size_t(y) * width + x] && clear(x, y)) {
            outside[std::size_t(y) * width + x] = true;
            open.emplace_back(x, y);
        }
    };
    for (int x = 0; x < width; ++x) {
        reach(x, 0);
        reach(x, height - 1);
    }
    for (int y = 0; y < height; ++y) {
        reach(0, y);
        reach(width - 1, y);
    }
    while (!open.empty()) {
        const QPoint at = open.back();
        open.pop_back();
        reach(at.x() + 1, at.y());
        reach(at.x() - 1, at.y());
        reach(at.x(), at.y() + 1);
        reach(at.x(), at.y() - 1);
    }
    const QRgb filled = qPremultiply(ink.rgba());
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            if (!outside[std::size_t(y) * width + x] && clear(x, y)) {
                line[x] = filled;
            }
        }
    }
}

} // namespace

QIcon named(const QString &name)
{
    // One icon per image, shared: each new icon would parse and keep its own copy of the drawing, and a
    // menu of hundreds of servers asks for the same few images hundreds of times. GUI thread only.
    static QHash<QString, QIcon> s_loaded;
    if (const auto found = s_loaded.constFind(name); found != s_loaded.cend()) {
        return *found;
    }
    const QString path = resourcePath(name);
    const QIcon icon = QFile::exists(path) ? QIcon(path) : QIcon();
    s_loaded.insert(name, icon);
    return icon;
}

QIcon templateNamed(const QString &name)
{
    const QIcon source = named(name);
    if (source.isNull()) {
        return {};
    }
    const QColor ink = QGuiApplication::palette().color(QPalette::Active, QPalette::WindowText);
    QIcon tinted;
    for (const int side : Sides) {
        const QImage image = shapeIn(source, side, ink);
        if (!image.isNull()) {
            tinted.addPixmap(QPixmap::fromImage(image));
        }
    }
    return tinted.isNull() ? source : tinted;
}

QIcon outlinedNamed(const QString &name)
{
    const QIcon source = named(name);
    if (source.isNull()) {
        return {};
    }
    QIcon outlined;
    for (const int side : Sides) {
        const QImage edge = shapeIn(source, side, QColor(0x1a, 0x1a, 0x1a));
        if (edge.isNull()) {
            continue;
        }
        // The edge is the shape spread by about a pixel in every direction, and what the shape encloses is
        // filled too: a light line between two dark ones would read as two lines on a light panel.
        const int reach = std::max(1, side / 20);
        QImage image(edge.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        for (int dy = -reach; dy <= reach; ++dy) {
            for (int dx = -reach; dx <= reach; ++dx) {
                if (dx * dx + dy * dy <= reach * reach + 1) {
                    painter.drawImage(dx, dy, edge);
                }
            }
        }
        painter.end();
        fillEnclosed(image, edge, QColor(0x1a, 0x1a, 0x1a));
        painter.begin(&image);
        painter.drawImage(0, 0, shapeIn(source, side, QColor(0xf4, 0xf4, 0xf4)));
        painter.end();
        outlined.addPixmap(QPixmap::fromImage(image));
    }
    return outlined;
}

} // namespace plimsy::TemplateImage
