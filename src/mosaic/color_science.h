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

// No two colours whose lightness differs by ΔL are closer than this: |R_T| < 2 keeps the cross
// term from making the sum smaller than (ΔL / S_L)², and S_L never exceeds 1.75.
inline double DeltaE2000LowerBound(double ADeltaL) {
    return (ADeltaL < 0 ? -ADeltaL : ADeltaL) * (1 / 1.75);
}
