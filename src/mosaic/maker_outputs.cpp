#include "maker_outputs.h"

#include "atomic_file.h"
#include "catalog.h"
#include "grout.h"
#include "tile_edges.h"
#include "vorm_error.h"

#include <QFileInfo>
#include <charconv>
#include <unordered_map>

namespace {

std::string Utf8(const QString& s) {
    return s.toStdString();
}

std::string Hex(TAlphaColor c) {
    char buf[8];
    static const char kHex[] = "0123456789ABCDEF";
    buf[0] = '#';
    for (int k = 0; k < 6; ++k)
        buf[1 + k] = kHex[(c >> (20 - 4 * k)) & 0xF];
    return std::string(buf, 7);
}

std::string JsonString(const QString& s) {
    std::string out = "\"";
    for (unsigned char ch : s.toStdString()) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += char(ch);
        } else if (ch < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", ch);
            out += buf;
        } else {
            out += char(ch);
        }
    }
    return out + '"';
}

std::string CsvField(const QString& s) {
    std::string v = Utf8(s);
    if (v.find_first_of(",\"\r\n") == std::string::npos)
        return v;
    std::string out = "\"";
    for (char c : v) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

std::string Number(double v, int ADecimals) {
    return QString::number(v, 'f', ADecimals).toStdString();
}

void AppendFloat(std::string& out, float v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

template <typename Visit>
void EachWritten(const TItemXs& AItems, const TTileColors& AColors, double AGrout, Visit&& AVisit) {
    TCorners c;
    for (size_t i = 0; i < AItems.size(); ++i) {
        if (AItems[i].Count <= 0)
            continue;
        if (AColors.Grouped && AColors.Slot[i] == kNoSlot)
            continue;
        const int n = WrittenPolygon(AItems[i], AGrout, c);
        if (n > 0)
            AVisit(int32_t(i), c, n);
    }
}

} // namespace

std::vector<int32_t> SvgOrder(const TItemXs& AItems, const TTileColors& AColors, double AGrout) {
    std::vector<int32_t> order;
    EachWritten(AItems, AColors, AGrout,
                [&](int32_t i, const TCorners&, int) { order.push_back(i); });
    if (AColors.Grouped)
        std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
            return AColors.Slot[size_t(a)] < AColors.Slot[size_t(b)];
        });
    return order;
}

std::vector<TBomRow> BillOfMaterials(const TItemXs& AItems, const TTileColors& AColors,
                                     double AGrout, int AWidth, int AHeight) {
    std::vector<TBomRow> rows;
    std::unordered_map<TAlphaColor, size_t> byColor; // without a list: the row of a colour
    if (AColors.Grouped)
        for (const TMakerColor& c : AColors.Colors)
            rows.push_back({c});
    EachWritten(AItems, AColors, AGrout, [&](int32_t i, const TCorners& c, int n) {
        size_t row;
        if (AColors.Grouped) {
            row = AColors.Slot[size_t(i)];
        } else {
            const TAlphaColor rgb = 0xFF000000u | AColors.Color[size_t(i)];
            const auto [it, added] = byColor.try_emplace(rgb, rows.size());
            if (added)
                rows.push_back({{rgb, QString(), QString()}});
            row = it->second;
        }
        bool cut = false;
        for (int k = 0; k < n; ++k)
            cut = cut || c[size_t(k)].X < 0 || c[size_t(k)].Y < 0 || c[size_t(k)].X > AWidth ||
                  c[size_t(k)].Y > AHeight;
        TBomRow& r = rows[row];
        ++(cut ? r.Cut : r.Whole);
        r.Area += AItems[size_t(i)].Count;
    });
    std::erase_if(rows, [](const TBomRow& r) { return r.Whole + r.Cut == 0; });
    return rows;
}

std::string BomCsv(const std::vector<TBomRow>& ARows, int AWidth, int AHeight) {
    const double total = double(AWidth) * AHeight;
    std::string out = "name,hex,code,whole_tiles,cut_tiles,tiles,area_px,share\r\n";
    for (const TBomRow& r : ARows) {
        out += CsvField(r.Color.label()) + ',' + Hex(r.Color.Rgb) + ',' + CsvField(r.Color.Code) +
               ',' + std::to_string(r.Whole) + ',' + std::to_string(r.Cut) + ',' +
               std::to_string(r.Whole + r.Cut) + ',' + std::to_string(r.Area) + ',' +
               Number(total > 0 ? r.Area / total : 0, 6) + "\r\n";
    }
    return out;
}

std::string BomJson(const std::vector<TBomRow>& ARows, int AWidth, int AHeight,
                    const QString& APaletteName) {
    const double total = double(AWidth) * AHeight;
    int64_t whole = 0, cut = 0, area = 0;
    std::string out = "{\n  \"picture\": {\"width\": " + std::to_string(AWidth) +
                      ", \"height\": " + std::to_string(AHeight) + "},\n";
    if (!APaletteName.isEmpty())
        out += "  \"palette\": " + JsonString(APaletteName) + ",\n";
    out += "  \"colors\": [";
    for (size_t k = 0; k < ARows.size(); ++k) {
        const TBomRow& r = ARows[k];
        whole += r.Whole;
        cut += r.Cut;
        area += r.Area;
        out += k ? ",\n    " : "\n    ";
        out += "{\"name\": " + JsonString(r.Color.label()) + ", \"hex\": \"" + Hex(r.Color.Rgb) +
               "\", \"code\": " + JsonString(r.Color.Code) +
               ", \"whole_tiles\": " + std::to_string(r.Whole) +
               ", \"cut_tiles\": " + std::to_string(r.Cut) +
               ", \"tiles\": " + std::to_string(r.Whole + r.Cut) +
               ", \"area_px\": " + std::to_string(r.Area) +
               ", \"share\": " + Number(total > 0 ? r.Area / total : 0, 6) + "}";
    }
    out += "\n  ],\n  \"total\": {\"whole_tiles\": " + std::to_string(whole) +
           ", \"cut_tiles\": " + std::to_string(cut) +
           ", \"tiles\": " + std::to_string(whole + cut) +
           ", \"area_px\": " + std::to_string(area) + "}\n}\n";
    return out;
}

void EmitTilesJson(const TItemXs& AItems, const TTileColors& AColors, const TMakerOptions& AOpt,
                   const char* AShape, float ACell, int AWidth, int AHeight,
                   const TTextSink& ASink) {
    std::string out = "{\"width\": " + std::to_string(AWidth) +
                      ", \"height\": " + std::to_string(AHeight) + ", \"shape\": \"" + AShape +
                      "\", \"cell\": ";
    AppendFloat(out, ACell);
    out += ", \"grout\": ";
    AppendFloat(out, float(AOpt.Grout));
    out += ", \"tiles\": [";
    const std::vector<int32_t> order = SvgOrder(AItems, AColors, AOpt.Grout);
    TCorners c;
    for (size_t k = 0; k < order.size(); ++k) {
        const int32_t i = order[k];
        const int n = WrittenPolygon(AItems[size_t(i)], AOpt.Grout, c);
        out += k ? ",\n" : "\n";
        out += "{\"points\": [";
        for (int p = 0; p < n; ++p) {
            out += p ? ", [" : "[";
            AppendFloat(out, c[size_t(p)].X);
            out += ", ";
            AppendFloat(out, c[size_t(p)].Y);
            out += ']';
        }
        const TAlphaColor col = AColors.Color[size_t(i)];
        out += "], \"color\": \"" + Hex(col) + "\", \"alpha\": " + std::to_string(col >> 24);
        if (AColors.Grouped) {
            const TMakerColor& mc = AColors.Colors[AColors.Slot[size_t(i)]];
            if (!mc.Name.isEmpty())
                out += ", \"name\": " + JsonString(mc.Name);
        }
        out += ", \"pixels\": " + std::to_string(AItems[size_t(i)].Count) + "}";
        if (out.size() >= (size_t(1) << 20)) {
            ASink(out);
            out.clear();
        }
    }
    out += "\n]}\n";
    ASink(out);
}

std::string CutLinesText(const TItemXs& AItems, const TTileColors& AColors, double AGrout,
                         int AWidth, int AHeight, const TProgress* AProgress) {
    std::vector<char> written(AItems.size(), 0);
    EachWritten(AItems, AColors, AGrout,
                [&](int32_t i, const TCorners&, int) { written[size_t(i)] = 1; });
    const auto segments = CutSegments(
        int32_t(AItems.size()),
        [&](int32_t i, TCorners& c) {
            return written[size_t(i)] ? WrittenPolygon(AItems[size_t(i)], AGrout, c) : 0;
        },
        AWidth, AHeight, AProgress);
    return CutLinesSvg(segments, AWidth, AHeight, AProgress);
}

std::vector<std::unique_ptr<TAtomicFile>>
PrepareSideFiles(const TItemXs& AItems, const TTileColors& AColors, const TMakerOptions& AOpt,
                 TBitmapToItemXsInit AInit, float ACell, int AWidth, int AHeight,
                 const TProgress* AProgress) {
    std::vector<std::unique_ptr<TAtomicFile>> files;
    auto write = [&](const QString& AName, const std::string& AText) {
        ThrowIfCanceled(AProgress);
        files.push_back(std::make_unique<TAtomicFile>(AName));
        files.back()->write(AText.data(), qint64(AText.size()));
    };
    if (!AOpt.BomFile.isEmpty()) {
        const auto rows = BillOfMaterials(AItems, AColors, AOpt.Grout, AWidth, AHeight);
        const bool json =
            QFileInfo(AOpt.BomFile).suffix().compare(QLatin1String("json"), Qt::CaseInsensitive) ==
            0;
        write(AOpt.BomFile, json ? BomJson(rows, AWidth, AHeight, AOpt.Palette.Name)
                                 : BomCsv(rows, AWidth, AHeight));
    }
    if (!AOpt.TilesFile.isEmpty()) {
        const char* shape = "unknown";
        for (const TShapeEntry& s : kShapes)
            if (s.Init == AInit)
                shape = s.Key;
        files.push_back(std::make_unique<TAtomicFile>(AOpt.TilesFile));
        TAtomicFile& f = *files.back();
        EmitTilesJson(AItems, AColors, AOpt, shape, ACell, AWidth, AHeight,
                      [&](const std::string& s) {
                          ThrowIfCanceled(AProgress);
                          f.write(s.data(), qint64(s.size()));
                      });
    }
    if (!AOpt.CutLinesFile.isEmpty()) {
        ThrowIfCanceled(AProgress);
        write(AOpt.CutLinesFile,
              CutLinesText(AItems, AColors, AOpt.Grout, AWidth, AHeight, AProgress));
    }
    ThrowIfCanceled(AProgress);
    return files;
}
