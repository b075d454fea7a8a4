#include "view_scale.h"

#include "parallel.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// Geometry.

namespace {

// One direction of Clamp: the picture covers the view, or is centred when it cannot.
double ClampAxis(double APicture, double AView, double AZoom, double ACentre) {
    if (APicture * AZoom <= AView)
        return APicture / 2;
    const double half = AView / 2 / AZoom;
    return std::clamp(ACentre, half, APicture - half);
}

} // namespace

void TViewGeometry::SetPictureSize(QSize ASize) {
    if (ASize == FPicture)
        return;
    FPicture = ASize;
    Fit();
}

void TViewGeometry::SetViewSize(QSizeF ASize) {
    FView = ASize;
    if (FFit)
        Fit();
    else
        Clamp();
}

void TViewGeometry::Fit() {
    FFit = true;
    FZoom = FitZoom();
    FCentre = QPointF(FPicture.width() / 2.0, FPicture.height() / 2.0);
}

void TViewGeometry::ZoomAt(double AZoom, QPointF AAt) {
    const QPointF fixed = ToPicture(AAt);
    FZoom = std::clamp(AZoom, MinZoom(), kMaxZoom);
    FFit = false;
    const QPointF middle(FView.width() / 2, FView.height() / 2);
    FCentre = fixed - (AAt - middle) / FZoom;
    Clamp();
}

void TViewGeometry::SetZoom(double AZoom) {
    ZoomAt(AZoom, QPointF(FView.width() / 2, FView.height() / 2));
}

void TViewGeometry::PanBy(QPointF ADelta) {
    FFit = false;
    FCentre -= ADelta / FZoom;
    Clamp();
}

double TViewGeometry::FitZoom() const {
    if (FPicture.isEmpty() || FView.isEmpty())
        return 1;
    return std::min(FView.width() / FPicture.width(), FView.height() / FPicture.height());
}

double TViewGeometry::MinZoom() const {
    return std::min(FitZoom(), 1.0) / 4;
}

bool TViewGeometry::CanPan() const {
    return FPicture.width() * FZoom > FView.width() + 1e-9 ||
           FPicture.height() * FZoom > FView.height() + 1e-9;
}

QPointF TViewGeometry::ToPicture(QPointF AView) const {
    const QPointF middle(FView.width() / 2, FView.height() / 2);
    return FCentre + (AView - middle) / FZoom;
}

QPointF TViewGeometry::ToView(QPointF APicture) const {
    const QPointF middle(FView.width() / 2, FView.height() / 2);
    return middle + (APicture - FCentre) * FZoom;
}

QRectF TViewGeometry::PictureRect() const {
    return QRectF(ToView(QPointF(0, 0)), QSizeF(FPicture) * FZoom);
}

void TViewGeometry::Clamp() {
    FCentre.setX(ClampAxis(FPicture.width(), FView.width(), FZoom, FCentre.x()));
    FCentre.setY(ClampAxis(FPicture.height(), FView.height(), FZoom, FCentre.y()));
}

// Zoom levels.

namespace {

const std::vector<double>& Ladder() {
    static const std::vector<double> levels = [] {
        std::vector<double> l;
        for (int k = -12; k <= 8; ++k) {
            l.push_back(std::ldexp(1.0, k));
            l.push_back(1.5 * std::ldexp(1.0, k));
        }
        std::sort(l.begin(), l.end());
        return l;
    }();
    return levels;
}

} // namespace

double ZoomLevel(double AZoom, int ASteps) {
    const std::vector<double>& l = Ladder();
    double z = AZoom;
    // A zoom within a hair of a level counts as that level.
    constexpr double kHair = 1e-9;
    for (; ASteps > 0; --ASteps) {
        const auto next = std::upper_bound(l.begin(), l.end(), z * (1 + kHair));
        if (next == l.end())
            break;
        z = *next;
    }
    for (; ASteps < 0; ++ASteps) {
        const auto next = std::lower_bound(l.begin(), l.end(), z * (1 - kHair));
        if (next == l.begin())
            break;
        z = *(next - 1);
    }
    return z;
}

QString ZoomPercentText(double AZoom) {
    const double percent = AZoom * 100;
    if (percent >= 9.95)
        return QString::number(std::lround(percent)) + QStringLiteral(" %");
    return QString::number(percent, 'f', 1) + QStringLiteral(" %");
}

// Area-averaged reduction.

namespace {

constexpr uint32_t kFull = 256; // the weight of a wholly covered source pixel

// The source pixels one destination pixel covers: the first, how many, and the shares of the
// first and the last (the ones between are covered wholly).
struct TSpan {
    int First = 0;
    int Count = 0;
    uint32_t FirstWeight = 0;
    uint32_t LastWeight = 0;
    uint64_t Total = 0;
};

std::vector<TSpan> Spans(int ASource, int ADest) {
    std::vector<TSpan> spans(static_cast<size_t>(ADest));
    const double step = double(ASource) / ADest;
    for (int j = 0; j < ADest; ++j) {
        const double a = j * step, b = j + 1 == ADest ? ASource : (j + 1) * step;
        TSpan& s = spans[size_t(j)];
        s.First = std::min(int(std::floor(a)), ASource - 1);
        const int last = std::clamp(int(std::ceil(b)) - 1, s.First, ASource - 1);
        s.Count = last - s.First + 1;
        auto weight = [](double share) { return uint32_t(std::lround(share * kFull)); };
        if (s.Count == 1) {
            s.FirstWeight = std::max(weight(b - a), 1u);
            s.LastWeight = 0;
            s.Total = s.FirstWeight;
        } else {
            s.FirstWeight = std::max(weight(s.First + 1 - a), 1u);
            s.LastWeight = std::max(weight(b - last), 1u);
            s.Total = s.FirstWeight + s.LastWeight + uint64_t(s.Count - 2) * kFull;
        }
    }
    return spans;
}

// Adds a pixel's four channels, times AWeight, to ASum (blue, green, red, alpha).
inline void AddWeighted(uint64_t* ASum, uint32_t APixel, uint32_t AWeight) {
    ASum[0] += uint64_t(APixel & 0xFF) * AWeight;
    ASum[1] += uint64_t((APixel >> 8) & 0xFF) * AWeight;
    ASum[2] += uint64_t((APixel >> 16) & 0xFF) * AWeight;
    ASum[3] += uint64_t(APixel >> 24) * AWeight;
}

// One source row reduced across: four weighted sums per destination pixel.
void ReduceRow(const uint32_t* ARow, const std::vector<TSpan>& ASpans, uint64_t* AOut) {
    for (const TSpan& s : ASpans) {
        uint64_t* sum = AOut;
        sum[0] = sum[1] = sum[2] = sum[3] = 0;
        const uint32_t* p = ARow + s.First;
        AddWeighted(sum, p[0], s.FirstWeight);
        if (s.Count > 1) {
            // The wholly covered pixels, two channels to a word; 256 of them fit in 16 bits.
            int k = 1;
            const int end = s.Count - 1;
            while (k < end) {
                const int stop = std::min(end, k + 256);
                uint32_t lo = 0, hi = 0;
                for (; k < stop; ++k) {
                    lo += p[k] & 0x00FF00FF;
                    hi += (p[k] >> 8) & 0x00FF00FF;
                }
                sum[0] += uint64_t(lo & 0xFFFF) * kFull;
                sum[2] += uint64_t(lo >> 16) * kFull;
                sum[1] += uint64_t(hi & 0xFFFF) * kFull;
                sum[3] += uint64_t(hi >> 16) * kFull;
            }
            AddWeighted(sum, p[end], s.LastWeight);
        }
        AOut += 4;
    }
}

} // namespace

QImage ReduceAreaAverage(const QImage& ASource, QSize ASize) {
    if (ASource.isNull() || ASize.isEmpty())
        return QImage();
    const QImage source = ASource.format() == QImage::Format_ARGB32_Premultiplied
                              ? ASource
                              : ASource.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int sw = source.width(), sh = source.height();
    const int dw = std::min(ASize.width(), sw), dh = std::min(ASize.height(), sh);
    if (dw == sw && dh == sh)
        return source;
    QImage dest(dw, dh, QImage::Format_ARGB32_Premultiplied);
    if (dest.isNull())
        return dest;
    const std::vector<TSpan> across = Spans(sw, dw), down = Spans(sh, dh);

    // Bands of destination rows, a few for each thread so that uneven ones even out.
    const int bands = std::min(dh, 4 * std::max(1, WorkerThreads()));
    ParallelFor(bands, [&](int ABand) {
        const int first = int(int64_t(dh) * ABand / bands);
        const int last = int(int64_t(dh) * (ABand + 1) / bands);
        std::vector<uint64_t> row(size_t(dw) * 4), acc(size_t(dw) * 4);
        int cached = -1; // the source row that row holds
        for (int i = first; i < last; ++i) {
            const TSpan& v = down[size_t(i)];
            std::fill(acc.begin(), acc.end(), 0);
            for (int n = 0; n < v.Count; ++n) {
                const int y = v.First + n;
                const uint32_t w = n == 0 ? v.FirstWeight : n == v.Count - 1 ? v.LastWeight : kFull;
                if (y != cached) {
                    ReduceRow(reinterpret_cast<const uint32_t*>(source.constScanLine(y)), across,
                              row.data());
                    cached = y;
                }
                for (size_t k = 0; k < acc.size(); ++k)
                    acc[k] += row[k] * w;
            }
            uint32_t* out = reinterpret_cast<uint32_t*>(dest.scanLine(i));
            for (int j = 0; j < dw; ++j) {
                // The sums stay below 2^53, so a double holds them exactly; a multiplication
                // is much cheaper than four divisions.
                const double scale = 1.0 / double(across[size_t(j)].Total * v.Total);
                const uint64_t* a = &acc[size_t(j) * 4];
                auto channel = [&](int c) { return uint32_t(double(a[c]) * scale + 0.5); };
                out[j] = channel(0) | channel(1) << 8 | channel(2) << 16 | channel(3) << 24;
            }
        }
    });
    return dest;
}
