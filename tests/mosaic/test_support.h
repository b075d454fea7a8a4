// Small builders shared by the engine tests.
#pragma once

#include "mosaic_model.h"

#include <QImage>
#include <QTemporaryDir>

inline QImage SolidImage(int W, int H, QRgb APremultiplied) {
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    img.fill(APremultiplied);
    return img;
}

// A sampled tile whose mean colour is (r, g, b) with mean alpha a.
inline TItemX MeanTile(double r, double g, double b, double a = 255, int32_t ACount = 1) {
    TItemX t;
    t.R = r * ACount;
    t.G = g * ACount;
    t.B = b * ACount;
    t.A = a * ACount;
    t.Count = ACount;
    return t;
}

inline TItemX WithSquare(TItemX t, float x0, float y0, float x1, float y1) {
    t.Points = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    return t;
}

inline QRgb Pixel(const QImage& img, int x, int y) {
    return reinterpret_cast<const QRgb*>(img.constScanLine(y))[x];
}
