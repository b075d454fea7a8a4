#include "oracle.h"

#include "sampling.h"
#include "vorm_error.h"

#include <algorithm>

namespace oracle {

std::vector<int32_t> BuildOwnerMap(int AWidth, int AHeight, const TItemXs& AItemXs) {
    std::vector<int32_t> owner(size_t(AWidth) * size_t(AHeight), -1);
    // An empty picture has no pixel to own; the clamped boxes below would point outside it.
    if (AWidth <= 0 || AHeight <= 0)
        return owner;
    const float maxX = float(AWidth - 1), maxY = float(AHeight - 1);
    for (size_t i = 0; i < AItemXs.size(); ++i) {
        const TPointFX& p = AItemXs[i].Points;
        if (p.empty())
            continue;
        float minXf = p[0].X, maxXf = p[0].X, minYf = p[0].Y, maxYf = p[0].Y;
        for (const TPointF& q : p) {
            minXf = std::min(minXf, q.X);
            maxXf = std::max(maxXf, q.X);
            minYf = std::min(minYf, q.Y);
            maxYf = std::max(maxYf, q.Y);
        }
        const int x0 = ClampTrunc(float(double(minXf) - 1), maxX);
        const int x1 = ClampTrunc(float(double(maxXf) + 1), maxX);
        const int y0 = ClampTrunc(float(double(minYf) - 1), maxY);
        const int y1 = ClampTrunc(float(double(maxYf) + 1), maxY);
        for (int y = y0; y <= y1; ++y) {
            int32_t* row = owner.data() + size_t(y) * size_t(AWidth);
            for (int x = x0; x <= x1; ++x)
                if (PointInItemX(AItemXs[i], TPointF{float(x + 0.5), float(y + 0.5)}))
                    row[x] = int32_t(i);
        }
    }
    return owner;
}

void SumOwnedPixels(const QImage& ABitmap, const std::vector<int32_t>& AOwner, TItemXs& AItemXs,
                    TProgress* AProgress) {
    const int W = ABitmap.width(), H = ABitmap.height();
    if (AProgress)
        AProgress->setMaximum(H - 1);
    // An empty picture cannot be mapped: the tiles keep Count 0.
    if (!ABitmap.isNull() && W > 0 && H > 0) {
        QImage converted;
        const QImage* src = &ABitmap;
        if (ABitmap.format() != QImage::Format_ARGB32_Premultiplied) {
            converted = ABitmap.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            if (converted.isNull())
                throw std::bad_alloc();
            src = &converted;
        }
        for (int y = 0; y < H; ++y) {
            const uchar* row = src->constScanLine(y);
            const int32_t* own = AOwner.data() + size_t(y) * size_t(W);
            for (int x = 0; x < W; ++x) {
                const int32_t i = own[x];
                if (i < 0)
                    continue;
                const uchar* px = row + 4 * size_t(x); // blue, green, red, alpha in memory
                const uchar b = px[0], g = px[1], r = px[2], a = px[3];
                TItemX& t = AItemXs[size_t(i)];
                t.A += a;
                // A transparent pixel has no colour to recover; it adds 0 but still counts.
                if (a != 0) {
                    const double k = 255.0 / a;
                    t.R += r * k;
                    t.G += g * k;
                    t.B += b * k;
                }
                t.Count += 1;
            }
            if (AProgress) {
                AProgress->setValue(y);
                if (AProgress->isCanceled()) {
                    AProgress->setValue(0);
                    throw ECanceled();
                }
            }
        }
    }
    if (AProgress)
        AProgress->setValue(0);
}

void SampleItemXs(const QImage& ABitmap, TItemXs& AItemXs, TProgress* AProgress) {
    const std::vector<int32_t> owner = BuildOwnerMap(ABitmap.width(), ABitmap.height(), AItemXs);
    SumOwnedPixels(ABitmap, owner, AItemXs, AProgress);
}

} // namespace oracle
