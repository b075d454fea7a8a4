#include "grout.h"

#include <cmath>

int InsetPolygon(const TPointFX& APoints, double AInset, TCorners& AOut) {
    const int n = int(APoints.size());
    if (n < 3 || n > kMaxCorners)
        return 0;
    if (AInset == 0) {
        std::copy_n(APoints.begin(), n, AOut.begin());
        return n;
    }
    double area = 0;
    for (int k = 0; k < n; ++k) {
        const TPointF &a = APoints[size_t(k)], &b = APoints[size_t((k + 1) % n)];
        area += double(a.X) * b.Y - double(b.X) * a.Y;
    }
    if (!(std::fabs(area) > 1e-12))
        return 0;
    const double orient = area > 0 ? 1 : -1;
    // Inward unit normals and directions of the edges.
    std::array<double, kMaxCorners> nx{}, ny{}, ex{}, ey{};
    for (int k = 0; k < n; ++k) {
        const TPointF &a = APoints[size_t(k)], &b = APoints[size_t((k + 1) % n)];
        const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y, len = std::hypot(dx, dy);
        if (!(len > 0))
            return 0;
        ex[size_t(k)] = dx / len;
        ey[size_t(k)] = dy / len;
        nx[size_t(k)] = -orient * dy / len;
        ny[size_t(k)] = orient * dx / len;
    }
    std::array<double, kMaxCorners> qx{}, qy{};
    for (int k = 0; k < n; ++k) {
        const size_t in = size_t((k + n - 1) % n), out = size_t(k);
        const double dot = nx[in] * nx[out] + ny[in] * ny[out];
        if (!(1 + dot > 1e-9))
            return 0; // a reversal: no convex corner
        const double s = AInset / (1 + dot);
        qx[size_t(k)] = double(APoints[size_t(k)].X) + (nx[in] + nx[out]) * s;
        qy[size_t(k)] = double(APoints[size_t(k)].Y) + (ny[in] + ny[out]) * s;
    }
    // Every edge must keep its direction; one that shrinks to nothing or reverses means the
    // inset has passed the polygon's inside.
    for (int k = 0; k < n; ++k) {
        const size_t a = size_t(k), b = size_t((k + 1) % n);
        if (!((qx[b] - qx[a]) * ex[a] + (qy[b] - qy[a]) * ey[a] > 1e-9))
            return 0;
    }
    for (int k = 0; k < n; ++k)
        AOut[size_t(k)] = {float(qx[size_t(k)]), float(qy[size_t(k)])};
    return n;
}
