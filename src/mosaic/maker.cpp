#include "maker.h"

#include "bands.h"
#include "color_match.h"
#include "dither.h"
#include "grout.h"
#include "quantizer.h"
#include "vorm_error.h"

#include <QImage>
#include <QRegularExpression>
#include <algorithm>

QStringList TMakerOptions::sideFiles() const {
    QStringList out;
    for (const QString* f : {&BomFile, &TilesFile, &CutLinesFile})
        if (!f->isEmpty())
            out << *f;
    return out;
}

QString TMakerColor::label() const {
    return Name.isEmpty()
               ? QStringLiteral("#%1").arg(Rgb & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper()
               : Name;
}

bool ParseMakerColor(const QString& AText, TAlphaColor& AOut) {
    const QString t = AText.trimmed();
    if (t.compare(QLatin1String("transparent"), Qt::CaseInsensitive) == 0) {
        AOut = 0;
        return true;
    }
    static const QRegularExpression form(QStringLiteral("^#([0-9A-Fa-f]{6})([0-9A-Fa-f]{2})?$"));
    const QRegularExpressionMatch m = form.match(t);
    if (!m.hasMatch())
        return false;
    const TAlphaColor rgb = m.captured(1).toUInt(nullptr, 16);
    const TAlphaColor a = m.captured(2).isEmpty() ? 0xFF : m.captured(2).toUInt(nullptr, 16);
    AOut = a << 24 | rgb;
    return true;
}

bool GroutLeavesTiles(TBitmapToItemXsInit AInit, float w, double AGrout) {
    if (AGrout <= 0)
        return true;
    const QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
    TItemXs items;
    AInit(probe, w, items);
    TCorners c;
    for (const TItemX& t : items)
        if (InsetPolygon(t.Points, AGrout / 2, c) > 0)
            return true;
    return false;
}

TTileColors MapTileColors(const TItemXs& AItems, TColorConv AConv, const TMakerOptions& AOptions,
                          TProgress* AProgress) {
    const int n = int(AItems.size());
    TTileColors out;
    out.Color.assign(size_t(n), 0);
    std::vector<char> written(size_t(n), 0);
    const double grout = AOptions.Grout;
    ParallelChunks(n, kTileChunk, [&](int i) {
        const TItemX& t = AItems[size_t(i)];
        if (t.Count <= 0)
            return;
        TCorners c;
        if (WrittenPolygon(t, grout, c) == 0)
            return;
        written[size_t(i)] = 1;
        out.Color[size_t(i)] = AConv(t);
    });
    ThrowIfCanceled(AProgress);
    if (!AOptions.mapsColors())
        return out;

    // The list of colours: the palette's, the palette entries that serve the picture best, or
    // colours made for the picture.
    std::vector<TWeightedColor> histogram;
    if (AOptions.Colors > 0)
        for (int i = 0; i < n; ++i)
            if (written[size_t(i)])
                histogram.push_back(
                    {out.Color[size_t(i)] & 0xFFFFFF, double(AItems[size_t(i)].Count)});
    if (AOptions.hasPalette()) {
        const auto& entries = AOptions.Palette.Entries;
        std::vector<int> pick;
        if (AOptions.Colors > 0) {
            std::vector<TAlphaColor> rgbs;
            for (const TPaletteEntry& e : entries)
                rgbs.push_back(e.Rgb);
            pick = ChoosePaletteColors(histogram, rgbs, AOptions.Colors, AProgress);
        } else {
            for (int k = 0; k < int(entries.size()); ++k)
                pick.push_back(k);
        }
        for (int k : pick)
            out.Colors.push_back({entries[size_t(k)].Rgb | 0xFF000000u, entries[size_t(k)].Name,
                                  entries[size_t(k)].Code});
    } else {
        for (TAlphaColor c : QuantizeColors(histogram, AOptions.Colors, AProgress))
            out.Colors.push_back({c, QString(), QString()});
    }
    histogram = {};
    ThrowIfCanceled(AProgress);
    out.Grouped = true;
    out.Slot.assign(size_t(n), kNoSlot);
    std::vector<TAlphaColor> list;
    for (const TMakerColor& c : out.Colors)
        list.push_back(c.Rgb);
    if (list.empty())
        return out;
    if (AOptions.Dither) {
        DitherTiles(AItems, written, out.Color, list, out.Slot, AProgress);
    } else {
        // Each distinct treated colour once, then every tile of it.
        std::vector<TAlphaColor> unique;
        unique.reserve(size_t(n));
        for (int i = 0; i < n; ++i)
            if (written[size_t(i)])
                unique.push_back(out.Color[size_t(i)] & 0xFFFFFF);
        std::sort(unique.begin(), unique.end());
        unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
        std::vector<uint16_t> slotOf(unique.size());
        const TColorMatcher matcher(list);
        // The colours are sorted, so the one before (in the same chunk) hints at the answer. A
        // slice at a time, asking between them whether to stop: a big palette takes a while.
        constexpr int kChunk = 256, kSlice = kChunk * 256;
        for (int from = 0; from < int(unique.size()); from += kSlice) {
            ThrowIfCanceled(AProgress);
            const int count = std::min(kSlice, int(unique.size()) - from);
            ParallelChunks(count, kChunk, [&](int k) {
                const int u = from + k;
                const int hint = k % kChunk ? slotOf[size_t(u) - 1] : -1;
                slotOf[size_t(u)] =
                    uint16_t(matcher.nearest(LabOfRgb(unique[size_t(u)]), nullptr, hint));
            });
        }
        ThrowIfCanceled(AProgress);
        ParallelChunks(n, kTileChunk, [&](int i) {
            if (!written[size_t(i)])
                return;
            const TAlphaColor rgb = out.Color[size_t(i)] & 0xFFFFFF;
            const size_t u =
                size_t(std::lower_bound(unique.begin(), unique.end(), rgb) - unique.begin());
            out.Slot[size_t(i)] = slotOf[u];
        });
    }
    ParallelChunks(n, kTileChunk, [&](int i) {
        if (!written[size_t(i)])
            return;
        out.Color[size_t(i)] =
            (out.Color[size_t(i)] & 0xFF000000u) | (list[out.Slot[size_t(i)]] & 0xFFFFFF);
    });
    return out;
}
