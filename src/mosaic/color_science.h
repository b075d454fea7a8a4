// Colour science for the maker options: sRGB to CIELAB under D65, back again, and the CIEDE2000
// colour difference of Sharma, Wu and Dalal (2005). Everything is computed in double from the
// 8-bit straight colour, with no colour-management library: the D50 profile connection space of
// such libraries would shift every colour.
#pragma once

#include "alpha_color.h"

#include <cstdint>

struct TLab {
    double L = 0, a = 0, b = 0;
};

// CIELAB (D65, 2° observer) of the sRGB colour in the low 24 bits of ARgb; the alpha is ignored.
TLab LabOfRgb(TAlphaColor ARgb);
// The nearest 8-bit sRGB colour to a Lab value, clamped to the gamut: 0xFFRRGGBB.
TAlphaColor RgbOfLab(const TLab& ALab);

// ΔE00 with kL = kC = kH = 1, following Sharma, Wu and Dalal's notes to the letter (the mean
// hue when the hues lie more than 180° apart, and a hue of 0 for a grey).
double DeltaE2000(const TLab& A1, const TLab& A2);
// The same, computed step by step as Sharma, Wu and Dalal write it (hue angles by atan2); what
// DeltaE2000 is tested against. DeltaE2000 agrees with it to about 1e-12.
double DeltaE2000Reference(const TLab& A1, const TLab& A2);

// A lower bound on DeltaE2000 that needs no trigonometry, for skipping far colours. The cross
// term R_T ΔC'ΔH' takes at most |R_T| / 2 of ΔC'² + ΔH'², and |R_T| ≤ 2 sin(2Δθ): at most
// 2 sin 60° in general, and below 1e-5 when both colours have b ≥ 0 (the mean hue then lies in
// 0° to 180°, far from the blue at 275° where Δθ lives). ΔC'² + ΔH'² is at least
// (Δa² + Δb²) / S_C², S_C ≤ 1 + 0.045 × 1.5 × (C1 + C2) / 2, and ΔL / S_L ≥ ΔL / 1.75.
// AC1 and AC2 are the colours' chroma. Returns the bound squared, a hair low for rounding.
inline double DeltaE2000LowerBoundSquared(const TLab& A1, double AC1, const TLab& A2, double AC2) {
    const double dL = A1.L - A2.L, da = A1.a - A2.a, db = A1.b - A2.b;
    const double sc = 1 + 0.03375 * (AC1 + AC2);
    const double share = A1.b >= 0 && A2.b >= 0 ? 0.99999 : 0.1339;
    return (dL * dL * (1 / 3.0625) + share * (da * da + db * db) / (sc * sc)) * (1 - 1e-9);
}

// No two colours whose lightness differs by ΔL are closer than this, for lightness within 0 to
// 100: the cross term cannot make the sum smaller than (ΔL / S_L)², and S_L ≤ 1.75 there.
inline double DeltaE2000LowerBound(double ADeltaL) {
    return (ADeltaL < 0 ? -ADeltaL : ADeltaL) * (1 / 1.75);
}
