// Build step: renders an SVG icon into a square PNG of the given side, for icon themes without SVG support.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: render-icon SVG SIDE PNG\n");
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const int side = QByteArray(argv[2]).toInt();
    QSvgRenderer renderer(source);
    if (!renderer.isValid() || side <= 0) {
        std::fprintf(stderr, "render-icon: cannot render %s at %s pixels\n", argv[1], argv[2]);
        return 1;
    }
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "render-icon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
