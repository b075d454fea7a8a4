#include "svg.h"

#include "atomic_file.h"

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

// Appends the path of one tile with at most ACorners corners.
void AppendPath(std::string& out, const TItemX& t, size_t ACorners, TColorConv AColorConv,
                float AOpacity, bool AColorConvOpaque) {
    const TAlphaColor c = AColorConv(t);
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
                    TColorConv AColorConv, float AOpacity, bool AColorConvOpaque) {
    TAtomicFile file(AFileName);
    EmitSvg(AItemXs, AWidth, AHeight, AColorConv, AOpacity, AColorConvOpaque,
            [&](const std::string& s) { file.write(s.data(), qint64(s.size())); });
    file.commit();
}

void WriteItemXsSvgTo(const TByteSink& ASink, const TItemXs& AItemXs, int AWidth, int AHeight,
                      TColorConv AColorConv, float AOpacity, bool AColorConvOpaque) {
    EmitSvg(AItemXs, AWidth, AHeight, AColorConv, AOpacity, AColorConvOpaque,
            [&](const std::string& s) { ASink(s.data(), qint64(s.size())); });
}
