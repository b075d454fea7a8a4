#include "stream.h"

#include "atomic_file.h"
#include "bands.h"
#include "drivers.h"
#include "maker.h"
#include "maker_outputs.h"
#include "parallel.h"
#include "render.h"
#include "sampling.h"
#include "svg.h"
#include "tile_rows.h"
#include "vorm_error.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
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

// The picture's bands, read on a thread of their own a few bands ahead of the sampler when
// there are two threads or more: libjpeg decodes on one core while the tiles are summed on the
// other. A failure of the reader comes out of next(); a cancelled conversion stops the reader
// after its band.
class TBandFeed {
public:
    TBandFeed(TRowSource& ASource, int W, int H, int ABandRows)
        : FSource(ASource), H(H), FBandRows(ABandRows), FPitch(qsizetype(W) * 4),
          FSlots(WorkerThreads() > 1 ? kAhead : 1) {
        FBuffer.reset(new uchar[size_t(FPitch) * size_t(std::min(H, FBandRows)) * size_t(FSlots)]);
        if (FSlots > 1)
            FThread = std::thread([this] { Produce(); });
    }
    ~TBandFeed() {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FStop = true;
        }
        FChanged.notify_all();
        if (FThread.joinable())
            FThread.join();
    }
    TBandFeed(const TBandFeed&) = delete;
    TBandFeed& operator=(const TBandFeed&) = delete;

    qsizetype pitch() const { return FPitch; }

    // The rows of the next band, the one starting at AY0.
    const uchar* next(int AY0) {
        uchar* slot = Slot(FTaken);
        if (FSlots == 1) {
            FSource.read(AY0, std::min(H, AY0 + FBandRows), slot, FPitch);
            return slot;
        }
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [&] { return FMade > FTaken || FError; });
        if (FMade == FTaken)
            std::rethrow_exception(FError);
        return slot;
    }

    // The band next() gave is summed: its slot may take another.
    void done() {
        if (FSlots == 1) {
            ++FTaken;
            return;
        }
        {
            std::lock_guard<std::mutex> lock(FLock);
            ++FTaken;
        }
        FChanged.notify_all();
    }

    static constexpr int kAhead = 4;

private:
    uchar* Slot(int64_t ABand) {
        return FBuffer.get() +
               size_t(ABand % FSlots) * size_t(FPitch) * size_t(std::min(H, FBandRows));
    }

    void Produce() {
        try {
            for (int64_t band = 0; band * FBandRows < H; ++band) {
                {
                    std::unique_lock<std::mutex> lock(FLock);
                    FChanged.wait(lock, [&] { return FStop || band - FTaken < FSlots; });
                    if (FStop)
                        return;
                }
                const int Y0 = int(band * FBandRows);
                FSource.read(Y0, std::min(H, Y0 + FBandRows), Slot(band), FPitch);
                {
                    std::lock_guard<std::mutex> lock(FLock);
                    ++FMade;
                }
                FChanged.notify_all();
            }
        } catch (...) {
            {
                std::lock_guard<std::mutex> lock(FLock);
                FError = std::current_exception();
            }
            FChanged.notify_all();
        }
    }

    TRowSource& FSource;
    const int H;
    const int FBandRows;
    const qsizetype FPitch;
    const int FSlots;
    std::unique_ptr<uchar[]> FBuffer;
    std::mutex FLock;
    std::condition_variable FChanged;
    int64_t FMade = 0, FTaken = 0; // bands read, and bands summed
    bool FStop = false;
    std::exception_ptr FError;
    std::thread FThread;
};

// Each tile's treated colour, and whether it has pixels at all.
struct TColors {
    std::vector<TAlphaColor> Color;
    std::vector<uint8_t> Has;
};

// Measured on a 300 MP picture's 2.7 million triangles with --colors 16 --dither --grout 2
// --outline 1 --bom: 884 MB at the peak, about 330 bytes a tile all told.
constexpr qint64 kMakerTileBytes = 400;

TTileRows RowsOf(TBitmapToItemXsInit AInit, float w, int W, int H) {
    TTileRows rows;
    if (!rows.set(AInit, w, W, H))
        throw EVormError(QStringLiteral("This mosaic cannot be made a band at a time."));
    return rows;
}

// Rows of a band that the sampler takes at a time: its buffers for a band (the rows and their
// owners) stay within about a megabyte, the size of a core's own cache, so that the sum pass
// reads back what the owner pass wrote from the cache. Any band gives the same sums.
int SampledBandRows(int W) {
    const int rows = int((qint64(1) << 20) / 2 / std::max<qint64>(1, qint64(W) * 4)) / 8 * 8;
    return std::clamp(rows, 8, kBandRows);
}

// Reads the picture band by band into the tiles' sums. Once no later band reaches a row of
// tiles, ADone(first tile's index, its tiles, count) gets it, in array order: its sums are final,
// and the tiles are ADone's to take.
template <typename Done>
void SampleRows(const TTileRows& ARows, TRowSource& ASource, TProgress* AProgress, Done&& ADone) {
    const int W = ASource.width(), H = ASource.height();
    if (AProgress)
        AProgress->setMaximum(H - 1);
    if (W <= 0 || H <= 0)
        return;
    TRowSampler sampler(W, H);
    TTileWindow window(ARows, [W, H](const TItemX& t) { return TRowSampler::boxRows(t, W, H); });
    const int perRow = int(ARows.perRow());
    auto finish = [&](int64_t AFirst, TItemX* ATiles) { ADone(AFirst, ATiles, perRow); };
    const int bandRows = SampledBandRows(W);
    TBandFeed feed(ASource, W, H, bandRows);
    for (int Y0 = 0; Y0 < H; Y0 += bandRows) {
        const int Y1 = std::min(H, Y0 + bandRows);
        const uchar* band = feed.next(Y0);
        window.dropAbove(Y0, finish);
        window.reach(Y1);
        const auto [at, count] = window.run(Y0, Y1);
        sampler.add(window.tiles() + at, int(count), band, feed.pitch(), Y0, Y1);
        feed.done();
        ReportBand(AProgress, Y0, Y1);
    }
    window.dropAll(finish);
    if (AProgress)
        AProgress->setValue(0);
}

// Every tile with its sums, as the whole-picture sampler leaves them: what the maker options
// choose their colours from.
TItemXs SampleTiles(const TTileRows& ARows, TRowSource& ASource, TProgress* AProgress) {
    TItemXs items;
    items.reserve(size_t(ARows.tiles()));
    SampleRows(ARows, ASource, AProgress, [&](int64_t, TItemX* ATiles, int ACount) {
        items.insert(items.end(), std::make_move_iterator(ATiles),
                     std::make_move_iterator(ATiles + ACount));
    });
    return items;
}

// The treated colours of every tile, for painting.
TColors SampleColors(const TTileRows& ARows, TRowSource& ASource, TColorConv AColorConv,
                     TProgress* AProgress) {
    TColors out;
    out.Color.assign(size_t(ARows.tiles()), 0);
    out.Has.assign(size_t(ARows.tiles()), 0);
    SampleRows(ARows, ASource, AProgress, [&](int64_t AFirst, const TItemX* ATiles, int ACount) {
        ParallelChunks(ACount, kTileChunk, [&](int k) {
            const TItemX& t = ATiles[size_t(k)];
            if (t.Count > 0) {
                out.Color[size_t(AFirst + k)] = AColorConv(t);
                out.Has[size_t(AFirst + k)] = 1;
            }
        });
    });
    return out;
}

} // namespace

bool CanStreamMosaic(TBitmapToItemXsInit AInit) {
    TTileRows rows;
    return rows.set(AInit, 1.0f, 1, 1);
}

qint64 StreamMosaicBytes(TBitmapToItemXsInit AInit, float w, int W, int H, bool APng, bool AMaker) {
    const TTileRows rows = RowsOf(AInit, w, W, H);
    const qint64 row = qint64(W) * 4, bandRows = std::min(H, kBandRows);
    const qint64 threads = std::max(1, WorkerThreads());
    // The bands read ahead, and the sampler's owners of one band.
    qint64 bytes = row * bandRows * (threads > 1 ? TBandFeed::kAhead : 1) + row * bandRows;
    // The tiles that reach a band, with the sampler's lines and spans of each: a few rows.
    const qint64 rowHeight = std::max<qint64>(1, H / std::max<int64_t>(1, rows.rows()));
    bytes += rows.perRow() * (kBandRows / rowHeight + 3) * 1200;
    if (APng) {
        // Each tile's colour, and the PNG writer's window of strips with their deflated copies.
        const qint64 window = std::min<qint64>(H, threads * 2 * 64) + 1;
        bytes += rows.tiles() * 5 + row * window * 3 / 2 + threads * 2 * (qint64(256) << 10);
    }
    // A held tile (its corners on the heap) and, at most, the colour lists, the dithering's
    // graph of neighbours and the painter's lists: a generous bound.
    if (AMaker)
        bytes += rows.tiles() * kMakerTileBytes;
    return bytes;
}

namespace {

// The plain mosaic from each tile's treated colour: the tile rows are made again a window at a
// time, so that no tile array is needed.
void WritePlainPng(TPngRowWriter& APng, const TTileRows& ARows, const TColors& AColors, int W,
                   int H, float AOpacity) {
    TTileWindow window(ARows, [H](const TItemX& t) { return PaintRows(t, H); });
    std::vector<TPaint> paints;
    while (APng.first() < H) {
        const int first = APng.first(), end = APng.end();
        window.dropAbove(first, [](int64_t, const TItemX*) {});
        window.reach(end);
        // The colours of the tiles in the window; a tile without pixels paints nothing.
        const auto [at0, count0] = window.run(first, end);
        paints.resize(at0 + count0);
        const int64_t base = window.firstIndex();
        for (size_t k = at0; k < at0 + count0; ++k) {
            TItemX& t = window.tiles()[k];
            const size_t i = size_t(base + int64_t(k));
            t.Count = AColors.Has[i];
            paints[k] = PaintOf(AColors.Color[i], AOpacity);
        }
        const int bands = (end - first + kBandRows - 1) / kBandRows;
        ParallelFor(bands, [&](int b) {
            const int Y0 = first + b * kBandRows, Y1 = std::min(end, Y0 + kBandRows);
            const auto [at, count] = window.run(Y0, Y1);
            PaintStrip(window.tiles() + at, paints.data() + at, int(count), W, APng.scanLine(Y0),
                       APng.bytesPerLine(), Y0, Y1);
        });
        APng.rowsDone();
    }
}

// With maker options the tiles are held, about a hundred bytes each, for the colours are chosen
// from all of them; the picture still streams in and the mosaic out.
void StreamMakerPng(TPngRowWriter& APng, const TTileRows& ARows, const TItemXs& AItems,
                    const TTileColors& AColors, TColorConv AColorConv, float AOpacity,
                    const TMakerOptions& AMaker, int W, int H) {
    if (AMaker.changesPicture()) {
        const TMosaicPainter painter(
            AItems, AColors.Color, W, H, AOpacity,
            {AMaker.Grout, AMaker.GroutColor, AMaker.Outline, AMaker.OutlineColor});
        constexpr int R = TMosaicPainter::kRows;
        while (APng.first() < H) {
            const int first = APng.first(), end = APng.end();
            ParallelFor((end - first + R - 1) / R, [&](int b) {
                const int Y0 = first + b * R, Y1 = std::min(end, Y0 + R);
                painter.paint(APng.scanLine(Y0), APng.bytesPerLine(), Y0, Y1);
            });
            APng.rowsDone();
        }
        return;
    }
    // Only files beside the mosaic: the mosaic is the plain one.
    TColors colors;
    colors.Color.assign(AItems.size(), 0);
    colors.Has.assign(AItems.size(), 0);
    ParallelChunks(int(AItems.size()), kTileChunk, [&](int i) {
        if (AItems[size_t(i)].Count > 0) {
            colors.Color[size_t(i)] = AColorConv(AItems[size_t(i)]);
            colors.Has[size_t(i)] = 1;
        }
    });
    WritePlainPng(APng, ARows, colors, W, H, AOpacity);
}

} // namespace

void StreamSavePng(const QString& AFileName, TBitmapToItemXsInit AInit, float w,
                   TRowSource& ASource, TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                   TPngCompression ACompression, const TMakerOptions& AMaker) {
    const int W = ASource.width(), H = ASource.height();
    WithConversionMemory(W, H, [&] {
        const TTileRows rows = RowsOf(AInit, w, W, H);
        TPngOptions options;
        options.Compression = ACompression;
        options.Cancel = AProgress;
        if (!AMaker.any()) {
            const TColors colors = SampleColors(rows, ASource, AColorConv, AProgress);
            TAtomicFile file(AFileName);
            TPngRowWriter png([&](const void* AData, qint64 ASize) { file.write(AData, ASize); }, W,
                              H, options, AFileName);
            WritePlainPng(png, rows, colors, W, H, AOpacity);
            file.commit();
            return;
        }
        const TItemXs items = SampleTiles(rows, ASource, AProgress);
        const TTileColors colors = MapTileColors(items, AColorConv, AMaker, AProgress);
        // The files beside the mosaic are published once it is, as by the whole-picture drivers.
        auto side = PrepareSideFiles(items, colors, AMaker, AInit, w, W, H, AProgress);
        TAtomicFile file(AFileName);
        TPngRowWriter png([&](const void* AData, qint64 ASize) { file.write(AData, ASize); }, W, H,
                          options, AFileName);
        StreamMakerPng(png, rows, items, colors, AColorConv, AOpacity, AMaker, W, H);
        file.commit();
        for (auto& f : side)
            f->commitWithoutStop();
    });
}

void StreamWriteSvg(const QString& AFileName, TBitmapToItemXsInit AInit, float w,
                    TRowSource& ASource, TColorConv AColorConv, float AOpacity,
                    TProgress* AProgress, bool AColorConvOpaque, const TMakerOptions& AMaker) {
    const int W = ASource.width(), H = ASource.height();
    WithConversionMemory(W, H, [&] {
        const TTileRows rows = RowsOf(AInit, w, W, H);
        if (AMaker.any()) {
            const TItemXs items = SampleTiles(rows, ASource, AProgress);
            const TTileColors colors = MapTileColors(items, AColorConv, AMaker, AProgress);
            auto side = PrepareSideFiles(items, colors, AMaker, AInit, w, W, H, AProgress);
            if (AMaker.changesPicture())
                WriteMakerSvg(AFileName, items, W, H, colors, AMaker, AOpacity, AColorConvOpaque,
                              AProgress);
            else
                WriteItemXsSvg(AFileName, items, W, H, AColorConv, AOpacity, AColorConvOpaque,
                               AProgress);
            for (auto& f : side)
                f->commitWithoutStop();
            return;
        }
        // Each row of tiles is written as soon as its sums are final.
        TAtomicFile file(AFileName);
        std::string buf = ItemXsSvgHead(W, H, AOpacity, AColorConvOpaque);
        size_t corners = 0;
        std::vector<TAlphaColor> colors;
        SampleRows(rows, ASource, AProgress, [&](int64_t AFirst, const TItemX* ATiles, int ACount) {
            if (AFirst == 0)
                corners = ATiles[0].Points.size();
            colors.resize(size_t(ACount));
            ParallelChunks(ACount, kTileChunk, [&](int k) {
                if (ATiles[k].Count > 0)
                    colors[size_t(k)] = AColorConv(ATiles[k]);
            });
            for (int k = 0; k < ACount; ++k)
                if (ATiles[k].Count > 0)
                    AppendItemXSvgPath(buf, ATiles[k], corners, colors[size_t(k)], AOpacity,
                                       AColorConvOpaque);
            if (buf.size() >= (size_t(1) << 20)) {
                file.write(buf.data(), qint64(buf.size()));
                buf.clear();
            }
        });
        buf += ItemXsSvgTail();
        file.write(buf.data(), qint64(buf.size()));
        file.commit();
    });
}
