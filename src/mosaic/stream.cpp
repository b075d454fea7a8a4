#include "stream.h"

#include "atomic_file.h"
#include "bands.h"
#include "parallel.h"
#include "render.h"
#include "sampling.h"
#include "svg.h"
#include "tile_rows.h"
#include "vorm_error.h"

#include <algorithm>
#include <climits>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace {

// Tile rows made one after the other and dropped from the front once no band needs them:
// the tiles a band reaches are a run of whole rows, in array order.
class TTileWindow {
public:
    // ARowsOf(t) gives the picture rows [first, last] that tile t needs.
    TTileWindow(const TTileRows& ARows, std::function<std::pair<int, int>(const TItemX&)> ARowsOf)
        : FRows(ARows), FRowsOf(std::move(ARowsOf)), FPerRow(size_t(ARows.perRow())) {}

    // Makes rows until one starts below AY1 - 1 (the tilings' rows go down the picture).
    void reach(int AY1) {
        // A row that needs no picture row (beyond the bottom) does not stop the making.
        while (FNext < FRows.rows() &&
               (FSpan.empty() || FSpan.back().first <= AY1 - 1 || FSpan.back().first == INT_MAX)) {
            const size_t at = FTiles.size();
            FTiles.resize(at + FPerRow);
            FRows.row(FNext, FTiles.data() + at);
            std::pair<int, int> span{INT_MAX, INT_MIN};
            for (size_t k = at; k < FTiles.size(); ++k) {
                const auto [a, b] = FRowsOf(FTiles[k]);
                if (a <= b)
                    span = {std::min(span.first, a), std::max(span.second, b)};
            }
            FSpan.push_back(span);
            ++FNext;
        }
    }

    // Drops the front rows that end above AY0, handing each to ADone(first tile index, tiles).
    template <typename Done> void dropAbove(int AY0, Done&& ADone) {
        while (!FSpan.empty() && FSpan.front().second < AY0) {
            ADone(FFirstRow * int64_t(FPerRow), FTiles.data());
            FTiles.erase(FTiles.begin(), FTiles.begin() + ptrdiff_t(FPerRow));
            FSpan.pop_front();
            ++FFirstRow;
        }
    }

    template <typename Done> void dropAll(Done&& ADone) { dropAbove(INT_MAX, ADone); }

    // The run of tiles whose rows reach [AY0, AY1): its first tile in the window, and its count.
    std::pair<size_t, size_t> run(int AY0, int AY1) const {
        size_t a = 0, b = FSpan.size();
        while (a < b && FSpan[a].second < AY0)
            ++a;
        while (b > a && FSpan[b - 1].first > AY1 - 1)
            --b;
        return {a * FPerRow, (b - a) * FPerRow};
    }

    TItemX* tiles() { return FTiles.data(); }
    int64_t firstIndex() const { return FFirstRow * int64_t(FPerRow); }

private:
    const TTileRows& FRows;
    std::function<std::pair<int, int>(const TItemX&)> FRowsOf;
    const size_t FPerRow;
    std::vector<TItemX> FTiles;
    std::deque<std::pair<int, int>> FSpan; // each row's picture rows; empty (INT_MAX) for none
    int64_t FNext = 0, FFirstRow = 0;
};

// Each tile's treated colour, and whether it has pixels at all.
struct TColors {
    std::vector<TAlphaColor> Color;
    std::vector<uint8_t> Has;
};

TTileRows RowsOf(TBitmapToItemXsInit AInit, float w, int W, int H) {
    TTileRows rows;
    if (!rows.set(AInit, w, W, H))
        throw EVormError(QStringLiteral("This mosaic cannot be made a band at a time."));
    return rows;
}

// Reports the band's rows; throws ECanceled, with the progress reset, when asked to stop.
void ReportRows(TProgress* AProgress, int Y0, int Y1) {
    if (!AProgress)
        return;
    for (int y = Y0; y < Y1; ++y)
        AProgress->setValue(y);
    if (AProgress->isCanceled()) {
        AProgress->setValue(0);
        throw ECanceled();
    }
}

// Reads the picture band by band into the tiles' sums, and keeps each tile's treated colour.
TColors SampleRows(const TTileRows& ARows, TRowSource& ASource, TColorConv AColorConv,
                   TProgress* AProgress) {
    const int W = ASource.width(), H = ASource.height();
    TColors out;
    out.Color.assign(size_t(ARows.tiles()), 0);
    out.Has.assign(size_t(ARows.tiles()), 0);
    if (AProgress)
        AProgress->setMaximum(H - 1);
    if (W <= 0 || H <= 0)
        return out;
    TRowSampler sampler(W, H);
    TTileWindow window(ARows, [W, H](const TItemX& t) { return TRowSampler::boxRows(t, W, H); });
    auto finish = [&](int64_t AFirst, const TItemX* ATiles) {
        ParallelChunks(int(ARows.perRow()), kTileChunk, [&](int k) {
            const TItemX& t = ATiles[size_t(k)];
            if (t.Count > 0) {
                out.Color[size_t(AFirst + k)] = AColorConv(t);
                out.Has[size_t(AFirst + k)] = 1;
            }
        });
    };
    const qsizetype pitch = qsizetype(W) * 4;
    std::unique_ptr<uchar[]> band(new uchar[size_t(pitch) * kBandRows]);
    for (int Y0 = 0; Y0 < H; Y0 += kBandRows) {
        const int Y1 = std::min(H, Y0 + kBandRows);
        ASource.read(Y0, Y1, band.get(), pitch);
        window.dropAbove(Y0, finish);
        window.reach(Y1);
        const auto [at, count] = window.run(Y0, Y1);
        sampler.add(window.tiles() + at, int(count), band.get(), pitch, Y0, Y1);
        ReportRows(AProgress, Y0, Y1);
    }
    window.dropAll(finish);
    if (AProgress)
        AProgress->setValue(0);
    return out;
}

} // namespace

bool CanStreamMosaic(TBitmapToItemXsInit AInit) {
    TTileRows rows;
    return rows.set(AInit, 1.0f, 1, 1);
}

qint64 StreamMosaicBytes(TBitmapToItemXsInit AInit, float w, int W, int H) {
    const TTileRows rows = RowsOf(AInit, w, W, H);
    // The colours, the sampler's band and owner buffer, and the PNG writer's window of strips.
    return rows.tiles() * 5 + qint64(W) * 4 * (2 * kBandRows + 2 * 64 * 8 + 1);
}

void StreamSavePng(const QString& AFileName, TBitmapToItemXsInit AInit, float w,
                   TRowSource& ASource, TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                   TPngCompression ACompression) {
    const int W = ASource.width(), H = ASource.height();
    WithMemoryMessage(
        [&] {
            return QStringLiteral("Not enough memory to convert a %1 × %2 picture.").arg(W).arg(H);
        },
        [&] {
            const TTileRows rows = RowsOf(AInit, w, W, H);
            const TColors colors = SampleRows(rows, ASource, AColorConv, AProgress);
            TAtomicFile file(AFileName);
            TPngOptions options;
            options.Compression = ACompression;
            options.Cancel = AProgress;
            TPngRowWriter png([&](const void* AData, qint64 ASize) { file.write(AData, ASize); }, W,
                              H, options, AFileName);
            TTileWindow window(rows, [H](const TItemX& t) { return PaintRows(t, H); });
            std::vector<TPaint> paints;
            // Each window of the writer is painted in bands, on all threads.
            while (png.first() < H) {
                const int first = png.first(), end = png.end();
                window.dropAbove(first, [](int64_t, const TItemX*) {});
                window.reach(end);
                // The colours of the tiles in the window; a tile without pixels paints nothing.
                const auto [at0, count0] = window.run(first, end);
                paints.resize(at0 + count0);
                const int64_t base = window.firstIndex();
                for (size_t k = at0; k < at0 + count0; ++k) {
                    TItemX& t = window.tiles()[k];
                    const size_t i = size_t(base + int64_t(k));
                    t.Count = colors.Has[i];
                    paints[k] = PaintOf(colors.Color[i], AOpacity);
                }
                const int bands = (end - first + kBandRows - 1) / kBandRows;
                ParallelFor(bands, [&](int b) {
                    const int Y0 = first + b * kBandRows, Y1 = std::min(end, Y0 + kBandRows);
                    const auto [at, count] = window.run(Y0, Y1);
                    PaintStrip(window.tiles() + at, paints.data() + at, int(count), W,
                               png.scanLine(Y0), png.bytesPerLine(), Y0, Y1);
                });
                png.rowsDone();
            }
            file.commit();
        });
}

void StreamWriteSvg(const QString& AFileName, TBitmapToItemXsInit AInit, float w,
                    TRowSource& ASource, TColorConv AColorConv, float AOpacity,
                    TProgress* AProgress, bool AColorConvOpaque) {
    const int W = ASource.width(), H = ASource.height();
    WithMemoryMessage(
        [&] {
            return QStringLiteral("Not enough memory to convert a %1 × %2 picture.").arg(W).arg(H);
        },
        [&] {
            const TTileRows rows = RowsOf(AInit, w, W, H);
            const TColors colors = SampleRows(rows, ASource, AColorConv, AProgress);
            TAtomicFile file(AFileName);
            std::string buf = ItemXsSvgHead(W, H, AOpacity, AColorConvOpaque);
            std::vector<TItemX> row(size_t(rows.perRow()));
            size_t corners = 0;
            for (int64_t r = 0; r < rows.rows(); ++r) {
                rows.row(r, row.data());
                if (r == 0)
                    corners = row.front().Points.size();
                for (size_t k = 0; k < row.size(); ++k) {
                    const size_t i = size_t(r * rows.perRow()) + k;
                    if (!colors.Has[i])
                        continue;
                    AppendItemXSvgPath(buf, row[k], corners, colors.Color[i], AOpacity,
                                       AColorConvOpaque);
                }
                if (buf.size() >= (size_t(1) << 20)) {
                    if (AProgress && AProgress->isCanceled())
                        throw ECanceled();
                    file.write(buf.data(), qint64(buf.size()));
                    buf.clear();
                }
            }
            buf += ItemXsSvgTail();
            file.write(buf.data(), qint64(buf.size()));
            file.commit();
        });
}
