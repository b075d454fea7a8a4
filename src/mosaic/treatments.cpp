#include "treatments.h"

#include <algorithm>
#include <cmath>

namespace {

struct Mean {
    uint8_t r, g, b;
};

// Trunc of the double quotient, kept within a byte: a bitmap whose colour exceeds its alpha
// would otherwise give means above 255 that wrap around.
uint8_t MeanByte(double ASum, int32_t ACount) {
    const double m = std::trunc(ASum / ACount);
    return static_cast<uint8_t>(std::clamp(m, 0.0, 255.0));
}

Mean MeanColor(const TItemX& t) {
    return {MeanByte(t.R, t.Count), MeanByte(t.G, t.Count), MeanByte(t.B, t.Count)};
}

uint8_t MeanAlpha(const TItemX& t) {
    return MeanByte(t.A, t.Count);
}

// Evaluated in double from the single lightness, stored as a single, limited, then truncated.
uint8_t LightAlpha(double AValue) {
    const float v = std::clamp(static_cast<float>(AValue), 0.0f, 255.0f);
    return static_cast<uint8_t>(v);
}

uint8_t WhiteOpaque(float L) {
    return LightAlpha((L * 0.5 + 0.5) * 255);
}
uint8_t BlackOpaque(float L) {
    return LightAlpha(((1 - double(L)) * 0.5 + 0.5) * 255);
}
uint8_t GrayTransparent(float L) {
    return LightAlpha((std::fabs(double(L) - 0.5) + 0.5) * 255);
}

// Rounded to nearest with halves to even, as the platform's HSL-to-RGB conversion does.
uint8_t GrayValue(float L) {
    const double v = std::nearbyint(double(L) * 255); // default rounding mode: half to even
    return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
}

TAlphaColor Argb(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    return (TAlphaColor(a) << 24) | (TAlphaColor(r) << 16) | (TAlphaColor(g) << 8) | b;
}

enum class AlphaRule { Opaque, White, Black, Gray, Self };

TAlphaColor Treat(const TItemX& t, bool AGray, AlphaRule ARule) {
    const Mean m = MeanColor(t);
    const bool needL = AGray || (ARule != AlphaRule::Opaque && ARule != AlphaRule::Self);
    const float L = needL ? Lightness(m.r, m.g, m.b) : 0.0f;
    uint8_t a = 255;
    switch (ARule) {
    case AlphaRule::Opaque:
        break;
    case AlphaRule::White:
        a = WhiteOpaque(L);
        break;
    case AlphaRule::Black:
        a = BlackOpaque(L);
        break;
    case AlphaRule::Gray:
        a = GrayTransparent(L);
        break;
    case AlphaRule::Self:
        a = MeanAlpha(t);
        break;
    }
    if (AGray) {
        const uint8_t g = GrayValue(L);
        return Argb(a, g, g, g);
    }
    return Argb(a, m.r, m.g, m.b);
}

} // namespace

float Lightness(uint8_t R8, uint8_t G8, uint8_t B8) {
    const float r = static_cast<float>(R8 / 255.0);
    const float g = static_cast<float>(G8 / 255.0);
    const float b = static_cast<float>(B8 / 255.0);
    const float mx = std::max({r, g, b}), mn = std::min({r, g, b});
    return static_cast<float>((double(mx) + double(mn)) / 2);
}

TAlphaColor ConvColor(const TItemX& t) {
    return Treat(t, false, AlphaRule::Opaque);
}
TAlphaColor ConvColorAlphaWhite(const TItemX& t) {
    return Treat(t, false, AlphaRule::White);
}
TAlphaColor ConvColorAlphaBlack(const TItemX& t) {
    return Treat(t, false, AlphaRule::Black);
}
TAlphaColor ConvColorAlphaGray(const TItemX& t) {
    return Treat(t, false, AlphaRule::Gray);
}
TAlphaColor ConvColorSelfAlpha(const TItemX& t) {
    return Treat(t, false, AlphaRule::Self);
}
TAlphaColor ConvGray(const TItemX& t) {
    return Treat(t, true, AlphaRule::Opaque);
}
TAlphaColor ConvGrayAlphaWhite(const TItemX& t) {
    return Treat(t, true, AlphaRule::White);
}
TAlphaColor ConvGrayAlphaBlack(const TItemX& t) {
    return Treat(t, true, AlphaRule::Black);
}
TAlphaColor ConvGrayAlphaGray(const TItemX& t) {
    return Treat(t, true, AlphaRule::Gray);
}
TAlphaColor ConvGraySelfAlpha(const TItemX& t) {
    return Treat(t, true, AlphaRule::Self);
}
