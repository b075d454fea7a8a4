#include "color_science.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180;

// D65 white of the sRGB matrix below (IEC 61966-2-1), so that white is L 100, a 0, b 0.
constexpr double kXn = 0.4124564 + 0.3575761 + 0.1804375;
constexpr double kYn = 0.2126729 + 0.7151522 + 0.0721750;
constexpr double kZn = 0.0193339 + 0.1191920 + 0.9503041;

const std::array<double, 256>& LinearTable() {
    static const std::array<double, 256> table = [] {
        std::array<double, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            t[size_t(i)] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        }
        return t;
    }();
    return table;
}

constexpr double kEpsilon = 216.0 / 24389.0; // (6/29)^3
constexpr double kKappa = 24389.0 / 27.0;

double F(double t) {
    return t > kEpsilon ? std::cbrt(t) : (kKappa * t + 16) / 116;
}
double FInverse(double f) {
    const double t = f * f * f;
    return t > kEpsilon ? t : (116 * f - 16) / kKappa;
}

uint8_t Encode(double linear) {
    const double c = linear <= 0.0031308 ? 12.92 * linear
                                         : 1.055 * std::pow(std::max(linear, 0.0), 1 / 2.4) - 0.055;
    return uint8_t(std::lround(std::clamp(c, 0.0, 1.0) * 255));
}

double Pow7(double x) {
    const double x2 = x * x, x3 = x2 * x;
    return x3 * x3 * x;
}

} // namespace

TLab LabOfRgb(TAlphaColor ARgb) {
    const auto& lin = LinearTable();
    const double r = lin[(ARgb >> 16) & 0xFF], g = lin[(ARgb >> 8) & 0xFF], b = lin[ARgb & 0xFF];
    const double X = 0.4124564 * r + 0.3575761 * g + 0.1804375 * b;
    const double Y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
    const double Z = 0.0193339 * r + 0.1191920 * g + 0.9503041 * b;
    const double fx = F(X / kXn), fy = F(Y / kYn), fz = F(Z / kZn);
    return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

TAlphaColor RgbOfLab(const TLab& ALab) {
    const double fy = (ALab.L + 16) / 116, fx = fy + ALab.a / 500, fz = fy - ALab.b / 200;
    const double X = FInverse(fx) * kXn, Y = FInverse(fy) * kYn, Z = FInverse(fz) * kZn;
    const double r = 3.2404542 * X - 1.5371385 * Y - 0.4985314 * Z;
    const double g = -0.9692660 * X + 1.8760108 * Y + 0.0415560 * Z;
    const double b = 0.0556434 * X - 0.2040259 * Y + 1.0572252 * Z;
    return 0xFF000000u | TAlphaColor(Encode(r)) << 16 | TAlphaColor(Encode(g)) << 8 | Encode(b);
}

double DeltaE2000Reference(const TLab& A1, const TLab& A2) {
    const double C1 = std::hypot(A1.a, A1.b), C2 = std::hypot(A2.a, A2.b);
    const double Cm7 = Pow7((C1 + C2) / 2);
    const double G = 0.5 * (1 - std::sqrt(Cm7 / (Cm7 + 6103515625.0))); // 25^7
    const double a1 = (1 + G) * A1.a, a2 = (1 + G) * A2.a;
    const double c1 = std::hypot(a1, A1.b), c2 = std::hypot(a2, A2.b);
    auto hue = [](double b, double a) {
        if (b == 0 && a == 0)
            return 0.0;
        const double h = std::atan2(b, a) / kDeg;
        return h < 0 ? h + 360 : h;
    };
    const double h1 = hue(A1.b, a1), h2 = hue(A2.b, a2);
    const double dL = A2.L - A1.L, dC = c2 - c1;
    double dh = 0;
    if (c1 * c2 != 0) {
        dh = h2 - h1;
        if (dh > 180)
            dh -= 360;
        else if (dh < -180)
            dh += 360;
    }
    const double dH = 2 * std::sqrt(c1 * c2) * std::sin(dh * kDeg / 2);
    const double Lm = (A1.L + A2.L) / 2, Cm = (c1 + c2) / 2;
    double hm = h1 + h2;
    if (c1 * c2 != 0) {
        if (std::fabs(h1 - h2) <= 180)
            hm /= 2;
        else
            hm = hm < 360 ? (hm + 360) / 2 : (hm - 360) / 2;
    }
    const double T = 1 - 0.17 * std::cos((hm - 30) * kDeg) + 0.24 * std::cos(2 * hm * kDeg) +
                     0.32 * std::cos((3 * hm + 6) * kDeg) - 0.20 * std::cos((4 * hm - 63) * kDeg);
    const double dTheta = 30 * std::exp(-((hm - 275) / 25) * ((hm - 275) / 25));
    const double Cm7p = Pow7(Cm);
    const double RC = 2 * std::sqrt(Cm7p / (Cm7p + 6103515625.0));
    const double Lm50 = (Lm - 50) * (Lm - 50);
    const double SL = 1 + 0.015 * Lm50 / std::sqrt(20 + Lm50);
    const double SC = 1 + 0.045 * Cm;
    const double SH = 1 + 0.015 * Cm * T;
    const double RT = -std::sin(2 * dTheta * kDeg) * RC;
    const double l = dL / SL, c = dC / SC, h = dH / SH;
    return std::sqrt(std::max(0.0, l * l + c * c + h * h + RT * c * h));
}

double DeltaE2000(const TLab& A1, const TLab& A2) {
    // The same formula with the hue angles' trigonometry done by vectors: the mean hue is the
    // bisector of the two hue directions (which is what Sharma's case analysis picks), T's
    // cosines come from multiple angles of it, and ΔH' from the half-angle formula. Greys and
    // exactly opposite hues take the reference's path.
    const double C1 = std::sqrt(A1.a * A1.a + A1.b * A1.b),
                 C2 = std::sqrt(A2.a * A2.a + A2.b * A2.b);
    const double Cm7 = Pow7((C1 + C2) / 2);
    const double G = 0.5 * (1 - std::sqrt(Cm7 / (Cm7 + 6103515625.0)));
    const double a1 = (1 + G) * A1.a, a2 = (1 + G) * A2.a;
    const double c1 = std::sqrt(a1 * a1 + A1.b * A1.b), c2 = std::sqrt(a2 * a2 + A2.b * A2.b);
    const double prod = c1 * c2;
    if (prod == 0)
        return DeltaE2000Reference(A1, A2);
    const double cross = a1 * A2.b - A1.b * a2;
    const double ux = a1 / c1 + a2 / c2, uy = A1.b / c1 + A2.b / c2;
    const double un = std::sqrt(ux * ux + uy * uy);
    if (!(un > 1e-9))
        return DeltaE2000Reference(A1, A2);
    const double cosd = std::clamp((a1 * a2 + A1.b * A2.b) / prod, -1.0, 1.0);
    // sin(Δh/2) from sin Δh where the hues are close, from cos Δh where they are far apart.
    const double sinHalf =
        cosd > 0 ? std::fabs(cross / prod) / std::sqrt(2 * (1 + cosd)) : std::sqrt((1 - cosd) / 2);
    const double dH = 2 * std::sqrt(prod) * (cross < 0 ? -sinHalf : sinHalf);
    const double dL = A2.L - A1.L, dC = c2 - c1;
    const double Lm = (A1.L + A2.L) / 2, Cm = (c1 + c2) / 2;
    const double ch = ux / un, sh = uy / un;
    const double c2h = 2 * ch * ch - 1, s2h = 2 * sh * ch;
    const double c3h = c2h * ch - s2h * sh, s3h = s2h * ch + c2h * sh;
    const double c4h = 2 * c2h * c2h - 1, s4h = 2 * s2h * c2h;
    static const double kCos30 = std::cos(30 * kDeg), kSin30 = std::sin(30 * kDeg);
    static const double kCos6 = std::cos(6 * kDeg), kSin6 = std::sin(6 * kDeg);
    static const double kCos63 = std::cos(63 * kDeg), kSin63 = std::sin(63 * kDeg);
    const double T = 1 - 0.17 * (ch * kCos30 + sh * kSin30) + 0.24 * c2h +
                     0.32 * (c3h * kCos6 - s3h * kSin6) - 0.20 * (c4h * kCos63 + s4h * kSin63);
    // The rotation term lives about the blue at 275°. With the mean hue below 112.5° it is below
    // 30° × e^-42 and adds nothing a double can hold: no need for the angle itself.
    double RT = 0;
    if (!(uy >= 0 && ch > -0.3826834)) {
        double hm = std::atan2(uy, ux) / kDeg;
        if (hm < 0)
            hm += 360;
        const double z = (hm - 275) / 25;
        const double dTheta = 30 * std::exp(-z * z);
        const double Cm7p = Pow7(Cm);
        const double RC = 2 * std::sqrt(Cm7p / (Cm7p + 6103515625.0));
        RT = -std::sin(2 * dTheta * kDeg) * RC;
    }
    const double Lm50 = (Lm - 50) * (Lm - 50);
    const double SL = 1 + 0.015 * Lm50 / std::sqrt(20 + Lm50);
    const double SC = 1 + 0.045 * Cm;
    const double SH = 1 + 0.015 * Cm * T;
    const double l = dL / SL, c = dC / SC, h = dH / SH;
    return std::sqrt(std::max(0.0, l * l + c * c + h * h + RT * c * h));
}
