#include "platform/TemplateImage.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include <algorithm>

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
        // The edge is the shape spread by about a pixel in every direction, drawn under the light shape.
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
        painter.drawImage(0, 0, shapeIn(source, side, QColor(0xf4, 0xf4, 0xf4)));
        painter.end();
        outlined.addPixmap(QPixmap::fromImage(image));
    }
    return outlined;
}

} // namespace plimsy::TemplateImage
