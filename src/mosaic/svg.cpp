#include "svg.h"

#include "atomic_file.h"
#include "grout.h"
#include "maker_outputs.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

constexpr uint64_t kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

void AppendUInt(std::string& out, uint64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void AppendFixed(std::string& out, float v, int d) {
    if (!std::isfinite(v)) {
        v = 0; // never produced by the tilings; keep the document well-formed regardless
    }
    const bool negative = v < 0;
    const float mag = std::fabs(v);
    int exp = 0;
    const float fr = std::frexp(mag, &exp); // mag = fr * 2^exp, fr in [0.5, 1)
    if (negative)
        out += '-';
    const int e = exp - 24;
    if (e >= 0) {
        // A whole number: printed exactly, no rounding needed.
        char buf[64];
        const auto r =
            std::to_chars(buf, buf + sizeof buf, double(mag), std::chars_format::fixed, d);
        out.append(buf, r.ptr);
        return;
    }
    // mag * 10^d = N / 2^s exactly, with N below 2^44.
    const uint64_t mant = uint64_t(std::ldexp(fr, 24));
    const uint64_t N = mant * kPow10[d];
    const int s = -e;
    uint64_t q = 0;
    if (s < 63) {
        q = N >> s;
        const uint64_t rem = N - (q << s);
        if (rem >= (uint64_t(1) << (s - 1))) // a half or more: away from zero
            ++q;
    }
    const uint64_t p = kPow10[d];
    AppendUInt(out, q / p);
    if (d > 0) {
        out += '.';
        const std::string frac = std::to_string(q % p);
        out.append(size_t(d) - frac.size(), '0');
        out += frac;
    }
}

void AppendHex6(std::string& out, TAlphaColor c) {
    static const char kHex[] = "0123456789ABCDEF";
    for (int shift = 20; shift >= 0; shift -= 4)
        out += kHex[(c >> shift) & 0xF];
}

} // namespace

void AppendItemXSvgPath(std::string& out, const TItemX& t, size_t ACorners, TAlphaColor c,
                        float AOpacity, bool AColorConvOpaque) {
    out += "<path fill=\"#";
    AppendHex6(out, c);
    out += '"';
    if (!AColorConvOpaque) {
        const float opacity = float((c >> 24) / 255.0 * AOpacity);
        out += " fill-opacity=\"";
        AppendFixed(out, opacity, 2);
        out += '"';
    }
    out += " d=\"";
    const size_t n = std::min(ACorners, t.Points.size());
    for (size_t k = 0; k < n; ++k) {
        out += k == 0 ? "M" : " L";
        AppendFixed(out, t.Points[k].X, 1);
        out += ',';
        AppendFixed(out, t.Points[k].Y, 1);
    }
    out += " z\" />";
}

namespace {

// Appends the path of one tile with at most ACorners corners.
void AppendPath(std::string& out, const TItemX& t, size_t ACorners, TColorConv AColorConv,
                float AOpacity, bool AColorConvOpaque) {
    AppendItemXSvgPath(out, t, ACorners, AColorConv(t), AOpacity, AColorConvOpaque);
}

std::string Head(int AWidth, int AHeight, float AOpacity, bool AColorConvOpaque) {
    std::string out = "<svg version=\"1.0\" xmlns=\"http://www.w3.org/2000/svg\" "
                      "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"";
    AppendUInt(out, uint64_t(std::max(AWidth, 0)));
    out += "px\" height=\"";
    AppendUInt(out, uint64_t(std::max(AHeight, 0)));
    out += "px\" viewBox=\"0 0 ";
    AppendUInt(out, uint64_t(std::max(AWidth, 0)));
    out += ' ';
    AppendUInt(out, uint64_t(std::max(AHeight, 0)));
    out += "\" preserveAspectRatio=\"none\">";
    // Fixed text, not the program's version: documents must come out byte for byte the same
    // from every release, and files already written carry exactly this line.
    out += "<!-- Generator: ORVANTE VORM 1.0, SVG Export -->";
    out += "<g shape-rendering=\"crispEdges\"";
    if (AColorConvOpaque) {
        out += " fill-opacity=\"";
        AppendFixed(out, AOpacity, 2);
        out += '"';
    }
    out += '>';
    return out;
}

const char kTail[] = "</g></svg>\r\n";

} // namespace

std::string ItemXsSvgHead(int AWidth, int AHeight, float AOpacity, bool AColorConvOpaque) {
    return Head(AWidth, AHeight, AOpacity, AColorConvOpaque);
}

const char* ItemXsSvgTail() {
    return kTail;
}

namespace {

// Produces the document in pieces, so a huge mosaic never needs its whole text in memory.
template <typename Sink>
void EmitSvg(const TItemXs& AItemXs, int AWidth, int AHeight, TColorConv AColorConv, float AOpacity,
             bool AColorConvOpaque, Sink&& ASink) {
    std::string buf = Head(AWidth, AHeight, AOpacity, AColorConvOpaque);
    const size_t corners = AItemXs.empty() ? 0 : AItemXs.front().Points.size();
    for (const TItemX& t : AItemXs) {
        if (t.Count <= 0)
            continue;
        AppendPath(buf, t, corners, AColorConv, AOpacity, AColorConvOpaque);
        if (buf.size() >= (size_t(1) << 20)) {
            ASink(buf);
            buf.clear();
        }
    }
    buf += kTail;
    ASink(buf);
}

} // namespace

namespace {

// The tile as written with the maker options: its written polygon and mapped colour.
void AppendMakerPath(std::string& out, const TCorners& c, int n, TAlphaColor AColor, float AOpacity,
                     bool AColorConvOpaque) {
    out += "<path fill=\"#";
    AppendHex6(out, AColor);
    out += '"';
    if (!AColorConvOpaque) {
        out += " fill-opacity=\"";
        AppendFixed(out, float((AColor >> 24) / 255.0 * AOpacity), 2);
        out += '"';
    }
    out += " d=\"";
    for (int k = 0; k < n; ++k) {
        out += k == 0 ? "M" : " L";
        AppendFixed(out, c[size_t(k)].X, 1);
        out += ',';
        AppendFixed(out, c[size_t(k)].Y, 1);
    }
    out += " z\" />";
}

void AppendXmlText(std::string& out, const QString& AText) {
    for (unsigned char ch : AText.toStdString()) {
        switch (ch) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            if (ch >= 0x20 || ch == '\t')
                out += char(ch);
        }
    }
}

// The attributes every group of tiles carries: crisp edges, the opacity of an opaque treatment,
// and the outline's stroke.
void AppendGroupStyle(std::string& out, const TMakerOptions& AOpt, float AOpacity,
                      bool AColorConvOpaque) {
    out += " shape-rendering=\"crispEdges\"";
    if (AColorConvOpaque) {
        out += " fill-opacity=\"";
        AppendFixed(out, AOpacity, 2);
        out += '"';
    }
    if (AOpt.Outline > 0) {
        out += " stroke=\"#";
        AppendHex6(out, AOpt.OutlineColor);
        out += "\" stroke-width=\"";
        AppendFixed(out, float(AOpt.Outline), 2);
        out += '"';
        if ((AOpt.OutlineColor >> 24) != 0xFF) {
            out += " stroke-opacity=\"";
            AppendFixed(out, float((AOpt.OutlineColor >> 24) / 255.0), 2);
            out += '"';
        }
    }
}

template <typename Sink>
void EmitMakerSvg(const TItemXs& AItemXs, int AWidth, int AHeight, const TTileColors& AColors,
                  const TMakerOptions& AOpt, float AOpacity, bool AColorConvOpaque, Sink&& ASink) {
    std::string buf = "<svg version=\"1.1\" xmlns=\"http://www.w3.org/2000/svg\" "
                      "xmlns:xlink=\"http://www.w3.org/1999/xlink\"";
    if (AColors.Grouped)
        buf += " xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\"";
    buf += " width=\"";
    AppendUInt(buf, uint64_t(std::max(AWidth, 0)));
    buf += "px\" height=\"";
    AppendUInt(buf, uint64_t(std::max(AHeight, 0)));
    buf += "px\" viewBox=\"0 0 ";
    AppendUInt(buf, uint64_t(std::max(AWidth, 0)));
    buf += ' ';
    AppendUInt(buf, uint64_t(std::max(AHeight, 0)));
    buf += "\" preserveAspectRatio=\"none\">";
    buf += "<!-- Generator: ORVANTE VORM 1.0, SVG Export -->";
    if ((AOpt.GroutColor >> 24) != 0) {
        buf += "<rect x=\"0\" y=\"0\" width=\"";
        AppendUInt(buf, uint64_t(std::max(AWidth, 0)));
        buf += "\" height=\"";
        AppendUInt(buf, uint64_t(std::max(AHeight, 0)));
        buf += "\" fill=\"#";
        AppendHex6(buf, AOpt.GroutColor);
        buf += '"';
        if ((AOpt.GroutColor >> 24) != 0xFF) {
            buf += " fill-opacity=\"";
            AppendFixed(buf, float((AOpt.GroutColor >> 24) / 255.0), 2);
            buf += '"';
        }
        buf += " />";
    }
    const std::vector<int32_t> order = SvgOrder(AItemXs, AColors, AOpt.Grout);
    if (!AColors.Grouped) {
        buf += "<g";
        AppendGroupStyle(buf, AOpt, AOpacity, AColorConvOpaque);
        buf += '>';
    }
    int open = -1; // the layer open, by slot
    TCorners c;
    for (int32_t i : order) {
        if (AColors.Grouped && AColors.Slot[size_t(i)] != open) {
            if (open >= 0)
                buf += "</g>";
            open = AColors.Slot[size_t(i)];
            buf += "<g inkscape:groupmode=\"layer\" id=\"layer";
            AppendUInt(buf, uint64_t(open) + 1);
            buf += "\" inkscape:label=\"";
            AppendXmlText(buf, AColors.Colors[size_t(open)].label());
            buf += '"';
            AppendGroupStyle(buf, AOpt, AOpacity, AColorConvOpaque);
            buf += '>';
        }
        const int n = WrittenPolygon(AItemXs[size_t(i)], AOpt.Grout, c);
        AppendMakerPath(buf, c, n, AColors.Color[size_t(i)], AOpacity, AColorConvOpaque);
        if (buf.size() >= (size_t(1) << 20)) {
            ASink(buf);
            buf.clear();
        }
    }
    if (!AColors.Grouped || open >= 0)
        buf += "</g>";
    buf += "</svg>\r\n";
    ASink(buf);
}

} // namespace

std::string MakerSvgText(const TItemXs& AItemXs, int AWidth, int AHeight,
                         const TTileColors& AColors, const TMakerOptions& AOpt, float AOpacity,
                         bool AColorConvOpaque) {
    std::string text;
    EmitMakerSvg(AItemXs, AWidth, AHeight, AColors, AOpt, AOpacity, AColorConvOpaque,
                 [&](const std::string& s) { text += s; });
    return text;
}

void WriteMakerSvgTo(const TByteSink& ASink, const TItemXs& AItemXs, int AWidth, int AHeight,
                     const TTileColors& AColors, const TMakerOptions& AOpt, float AOpacity,
                     bool AColorConvOpaque) {
    EmitMakerSvg(AItemXs, AWidth, AHeight, AColors, AOpt, AOpacity, AColorConvOpaque,
                 [&](const std::string& s) { ASink(s.data(), qint64(s.size())); });
}

void WriteMakerSvg(const QString& AFileName, const TItemXs& AItemXs, int AWidth, int AHeight,
                   const TTileColors& AColors, const TMakerOptions& AOpt, float AOpacity,
                   bool AColorConvOpaque, const TProgress* AProgress) {
    TAtomicFile file(AFileName);
    EmitMakerSvg(AItemXs, AWidth, AHeight, AColors, AOpt, AOpacity, AColorConvOpaque,
                 [&](const std::string& s) {
                     ThrowIfCanceled(AProgress);
                     file.write(s.data(), qint64(s.size()));
                 });
    file.commit();
}

std::string FormatFixed(float v, int ADecimals) {
    std::string out;
    AppendFixed(out, v, std::clamp(ADecimals, 0, 6));
    return out;
}

std::string ItemXsSvgText(const TItemXs& AItemXs, int AWidth, int AHeight, TColorConv AColorConv,
                          float AOpacity, bool AColorConvOpaque) {
    std::string text;
    EmitSvg(AItemXs, AWidth, AHeight, AColorConv, AOpacity, AColorConvOpaque,
            [&](const std::string& s) { text += s; });
    return text;
}

void WriteItemXsSvg(const QString& AFileName, const TItemXs& AItemXs, int AWidth, int AHeight,
                    TColorConv AColorConv, float AOpacity, bool AColorConvOpaque,
                    const TProgress* AProgress) {
    TAtomicFile file(AFileName);
    EmitSvg(AItemXs, AWidth, AHeight, AColorConv, AOpacity, AColorConvOpaque,
            [&](const std::string& s) {
                ThrowIfCanceled(AProgress);
                file.write(s.data(), qint64(s.size()));
            });
    file.commit();
}

void WriteItemXsSvgTo(const TByteSink& ASink, const TItemXs& AItemXs, int AWidth, int AHeight,
                      TColorConv AColorConv, float AOpacity, bool AColorConvOpaque) {
    EmitSvg(AItemXs, AWidth, AHeight, AColorConv, AOpacity, AColorConvOpaque,
            [&](const std::string& s) { ASink(s.data(), qint64(s.size())); });
}
