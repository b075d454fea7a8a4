#include "oracle.h"

#include "render.h"

#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <new>

namespace oracle {
namespace {

QImage NewBitmap(int W, int H, QRgb AFill) {
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    if (img.isNull())
        throw std::bad_alloc();
    img.fill(AFill);
    return img;
}

void SetUp(QPainter& APainter) {
    APainter.setRenderHint(QPainter::Antialiasing, true);
    QPen pen(Qt::black, 1.5, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    APainter.setPen(pen);
    APainter.setBrush(Qt::SolidPattern);
}

void PaintPolygon(QPainter& APainter, const QPolygonF& APolygon, QRgb AColor) {
    QPen pen = APainter.pen();
    pen.setColor(QColor::fromRgb(AColor));
    APainter.setPen(pen);
    APainter.setBrush(QColor::fromRgb(AColor));
    // Fills, then strokes the closed outline: the stroke reaches 0.75 px past the edges, so
    // later tiles cover the shared edge of earlier ones.
    APainter.drawPolygon(APolygon);
}

} // namespace

QImage CreateFromBitmapAndMask(const QImage& AColor, const QImage& AMask) {
    QImage out = AColor.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (out.isNull() && !AColor.isNull())
        throw std::bad_alloc();
    const QImage mask = AMask.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int W = std::min(out.width(), mask.width()), H = std::min(out.height(), mask.height());
    for (int y = 0; y < H; ++y) {
        uchar* c = out.scanLine(y);
        const uchar* m = mask.constScanLine(y);
        for (int x = 0; x < W; ++x, c += 4, m += 4) {
            const uchar a = uchar((54 * m[2] + 183 * m[1] + 19 * m[0]) >> 8);
            c[0] = std::min(c[0], a);
            c[1] = std::min(c[1], a);
            c[2] = std::min(c[2], a);
            c[3] = a;
        }
    }
    return out;
}

void RenderItemXs(const TItemXs& AItemXs, int AWidth, int AHeight, QImage& ADest,
                  TColorConv AColorConv, float AOpacity) {
    if (AWidth <= 0 || AHeight <= 0) {
        ADest = QImage();
        return;
    }
    QImage color = NewBitmap(AWidth, AHeight, 0xFFFFFFFF);
    QImage mask = NewBitmap(AWidth, AHeight, 0xFF000000);
    {
        QPainter pc(&color), pm(&mask);
        SetUp(pc);
        SetUp(pm);
        const size_t corners = AItemXs.empty() ? 0 : AItemXs.front().Points.size();
        QPolygonF polygon(static_cast<qsizetype>(corners));
        for (const TItemX& t : AItemXs) {
            if (t.Count <= 0)
                continue;
            const TAlphaColor c = AColorConv(t);
            const TPaint p = PaintOf(c, AOpacity);
            const QRgb paint = qRgb(p.R, p.G, p.B);
            const int m = p.M;
            for (size_t k = 0; k < corners && k < t.Points.size(); ++k)
                polygon[qsizetype(k)] = QPointF(t.Points[k].X, t.Points[k].Y);
            PaintPolygon(pc, polygon, paint);
            PaintPolygon(pm, polygon, qRgb(m, m, m));
        }
    }
    mask = CreateFromBitmapAndMask(color, mask);
    color = QImage();
    ADest = std::move(mask);
}

} // namespace oracle
