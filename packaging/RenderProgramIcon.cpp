// Renders the program's icon for the desktop menu: a scalable SVG and PNGs at the sizes the icon theme
// uses, all from the picture the main window shows, so the menu and the window carry the same icon.
//
// usage: render-program-icon FILE.svg [FILE.png SIZE]...
#include "gui/shared/IconTable.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

namespace {

bool renderSvg(const QString& file) {
    QSvgGenerator svg;
    svg.setFileName(file);
    svg.setSize(QSize(32, 32));
    svg.setViewBox(QRect(0, 0, 32, 32));
    svg.setTitle(QStringLiteral("Norvi簡訊服務軟體"));
    svg.setDescription(QString());
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    painter.setRenderHint(QPainter::Antialiasing);
    norvi::IconTable::paintProgramIcon(painter, 32);
    return painter.end();
}

bool renderPng(const QString& file, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    norvi::IconTable::paintProgramIcon(painter, size);
    painter.end();
    return image.save(file, "PNG");
}

} // namespace

int main(int argc, char* argv[]) {
    // A build step: it never needs a screen, and the SVG writer needs an application for the painter's font.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.size() % 2 != 1) {
        std::fputs("usage: render-program-icon FILE.svg [FILE.png SIZE]...\n", stderr);
        return 2;
    }
    if (!renderSvg(args[0])) {
        std::fprintf(stderr, "render-program-icon: cannot write %s\n", qPrintable(args[0]));
        return 1;
    }
    for (int i = 1; i < args.size(); i += 2) {
        bool ok = false;
        const int size = args[i + 1].toInt(&ok);
        if (!ok || size <= 0 || !renderPng(args[i], size)) {
            std::fprintf(stderr, "render-program-icon: cannot write %s at size %s\n", qPrintable(args[i]),
                         qPrintable(args[i + 1]));
            return 1;
        }
    }
    return 0;
}
