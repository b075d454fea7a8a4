// vorm-compare: paints one picture with the engine and with the straightforward oracle and
// writes zoomed crops side by side (engine left, oracle right), to look at the edges.
//   vorm-compare INPUT OUTPUT.png [SHAPE 0-6] [CELL] [X Y SIZE ZOOM]
#include "catalog.h"
#include "oracle.h"
#include "render.h"
#include "sampling.h"
#include "treatments.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fputs("usage: vorm-compare INPUT OUTPUT.png [SHAPE] [CELL] [X Y SIZE ZOOM]\n", stderr);
        return 2;
    }
    QImage src(QString::fromLocal8Bit(argv[1]));
    if (src.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    src = src.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int shape = argc > 3 ? std::atoi(argv[3]) : 6;
    const float cell = argc > 4 ? float(std::atof(argv[4])) : 16;
    const int cx = argc > 6 ? std::atoi(argv[5]) : src.width() / 3;
    const int cy = argc > 6 ? std::atoi(argv[6]) : src.height() / 3;
    const int size = argc > 7 ? std::atoi(argv[7]) : 48;
    const int zoom = argc > 8 ? std::atoi(argv[8]) : 8;
    TItemXs items;
    kShapes[size_t(std::clamp(shape, 0, 6))].Init(src, cell, items);
    SampleItemXs(src, items, nullptr);
    QImage fast, slow;
    RenderItemXs(items, src.width(), src.height(), fast, ConvColor, 1.0f);
    oracle::RenderItemXs(items, src.width(), src.height(), slow, ConvColor, 1.0f);
    const QRect crop(cx, cy, size, size);
    QImage out(2 * size * zoom + 8, size * zoom, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::white);
    QPainter p(&out);
    p.drawImage(QRect(0, 0, size * zoom, size * zoom), fast.copy(crop));
    p.drawImage(QRect(size * zoom + 8, 0, size * zoom, size * zoom), slow.copy(crop));
    p.end();
    return out.save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
