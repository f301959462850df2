#include "platform/TemplateImage.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

namespace plimsy::TemplateImage {

namespace {

QString resourcePath(const QString &name)
{
    return QStringLiteral(":/images/%1.svg").arg(name);
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
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        QImage image = source.pixmap(side, side).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (image.isNull()) {
            continue;
        }
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), ink);
        painter.end();
        tinted.addPixmap(QPixmap::fromImage(image));
    }
    return tinted.isNull() ? source : tinted;
}

} // namespace plimsy::TemplateImage
